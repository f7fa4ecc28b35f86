#include "pe32_loader/thread_block.h"

#include <asm/ldt.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace pe32 {
namespace {

thread_local ThreadBlock *current = nullptr;

// The stack bounds of the calling thread, or a window around the current
// frame when the system cannot tell.
void stack_bounds(ThreadBlock &block)
{
  pthread_attr_t attr;
  void *low = nullptr;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
  }
  if (low && size) {
    block.stack_limit = low;
    block.stack_base = static_cast<char *>(low) + size;
  } else {
    char *here = static_cast<char *>(__builtin_frame_address(0));
    block.stack_limit = here - (1 << 20);
    block.stack_base = here + 4096;
  }
}

} // namespace

std::string install_thread_block()
{
  if (current)
    return {};
  auto *block = new (std::align_val_t(4096)) ThreadBlock{};
  static void *process_block = std::calloc(1, 4096);
  static thread_local void *module_tls[MODULE_TLS_COUNT] = {};
  block->exception_list = 0xffffffffu;
  stack_bounds(*block);
  block->self = block;
  block->process_id = static_cast<uint32_t>(getpid());
  block->thread_id = static_cast<uint32_t>(syscall(SYS_gettid));
  block->module_tls = module_tls;
  block->process_block = process_block;

  // A free entry of the thread-local descriptor table, based at the block.
  user_desc desc{};
  desc.entry_number = static_cast<unsigned>(-1);
  desc.base_addr = static_cast<unsigned>(reinterpret_cast<uintptr_t>(block));
  desc.limit = sizeof(ThreadBlock) - 1;
  desc.seg_32bit = 1;
  desc.useable = 1;
  if (syscall(SYS_set_thread_area, &desc) != 0) {
    std::string error = std::string("set_thread_area: ") + std::strerror(errno);
    ::operator delete(block, std::align_val_t(4096));
    return error;
  }
  const uint16_t selector = static_cast<uint16_t>(desc.entry_number << 3 | 3);
  __asm__ volatile("movw %w0, %%fs" : : "q"(selector));
  current = block;
  return {};
}

ThreadBlock &thread_block()
{
  if (!current) {
    std::fprintf(stderr, "pe32_loader: Windows code ran on a thread without a thread block\n");
    std::abort();
  }
  return *current;
}

} // namespace pe32
