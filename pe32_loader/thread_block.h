// The thread information block that 32-bit Windows code reaches through the
// fs segment: the module's runtime reads its own address at fs:[0x18] and the
// stack base from it at start-up, and the stand-ins for KERNEL32 keep the last
// error and the thread-local values in it, where Windows keeps them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pe32 {

constexpr uint32_t TLS_SLOT_COUNT = 64;      // values reached by TlsGetValue
constexpr uint32_t MODULE_TLS_COUNT = 16;    // modules with a TLS directory loaded at once

// The members at the offsets 32-bit Windows gives them; the rest stays zero.
struct ThreadBlock {
  uint32_t exception_list;                    // 0x00: handler chain head, 0xffffffff when empty
  void *stack_base;                           // 0x04: highest address of the stack
  void *stack_limit;                          // 0x08: lowest address of the stack
  uint32_t unused_0c[3];
  ThreadBlock *self;                          // 0x18: this block's linear address
  uint32_t unused_1c;
  uint32_t process_id;                        // 0x20
  uint32_t thread_id;                         // 0x24
  uint32_t unused_28;
  void **module_tls;                          // 0x2c: each module's TLS block, by the index the loader gave it
  void *process_block;                        // 0x30: a zero-filled stand-in
  uint32_t last_error;                        // 0x34: GetLastError
  unsigned char unused_38[0xe10 - 0x38];
  void *tls_slots[TLS_SLOT_COUNT];            // 0xe10: TlsGetValue
  unsigned char unused_f10[0x1000 - 0xf10];
};
static_assert(sizeof(void *) == 4, "the thread block is the 32-bit one");
static_assert(offsetof(ThreadBlock, self) == 0x18 && offsetof(ThreadBlock, module_tls) == 0x2c);
static_assert(offsetof(ThreadBlock, last_error) == 0x34 && offsetof(ThreadBlock, tls_slots) == 0xe10);
static_assert(sizeof(ThreadBlock) == 0x1000);

// Creates the calling thread's block, once, and loads fs with a segment based
// at it. Returns an empty text, or what failed.
std::string install_thread_block();

// The calling thread's block; install_thread_block must have succeeded on this thread.
ThreadBlock &thread_block();

} // namespace pe32
