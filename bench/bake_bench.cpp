// Bake throughput through the real activation: the native module, loaded from
// its file, bakes a cheap scene in the substitute host. Prints, per run, the
// item-frames per second, the host calls per item-frame by kind, the module's
// own time per item-frame with the host's time counted apart, and the peak
// memory; then how the cost grows from the shorter range to the longer.
//
//   bake_bench MODULE [--items N] [--frames F,F,...] [--method world|local]

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "substitute_host/host.h"
#include "substitute_host/module_loader.h"

using namespace subhost;

namespace {

double seconds_since(std::chrono::steady_clock::time_point start)
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Run {
  int items;
  int frames;
  double seconds;
  std::array<size_t, CALL_KINDS> calls;
  long peak_kib;
};

// One activation baking `items` root items over `frames` frames. A cheap host
// answers without evaluating and keeps nothing: what is left is the module's
// own work and the bare cost of its calls.
Run bake(const ServerInfo &server, int items, int frames, PanelAnswer method, bool cheap, double *host_only_seconds)
{
  Host h;
  h.answer = method;
  h.record_keys = false;
  h.cheap = cheap;
  h.scene.frames_per_second = 30;
  h.preview_first = 0;
  h.preview_last = frames - 1;
  for (int i = 0; i < items; ++i) {
    const uint64_t id = 0x10000001u + static_cast<uint64_t>(i);
    add_item(h.scene, id, "item" + std::to_string(i));
    h.selection.push_back(item_handle(id));
  }
  attach(&h);
  const auto start = std::chrono::steady_clock::now();
  const int result = server.activate(5, global_lookup, command_context(), nullptr);
  const double seconds = seconds_since(start);
  if (host_only_seconds) {
    const auto replay = std::chrono::steady_clock::now();
    call_services(h.calls, h.selection[0]);
    *host_only_seconds = seconds_since(replay);
  }
  detach();
  if (result != 0) {
    std::fprintf(stderr, "bake_bench: activation returned %d\n", result);
    std::exit(1);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return {items, frames, seconds, h.calls, usage.ru_maxrss};
}

} // namespace

int main(int argc, char **argv)
{
  if (argc < 2) {
    std::fprintf(stderr, "usage: bake_bench MODULE [--items N] [--frames F,F,...] [--method world|local]\n");
    return 2;
  }
  int items = 100;
  std::vector<int> frame_counts = {10000, 100000};
  PanelAnswer method = PanelAnswer::World;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string arg = argv[i], value = argv[i + 1];
    if (arg == "--items") {
      items = std::atoi(value.c_str());
    } else if (arg == "--frames") {
      frame_counts.clear();
      std::stringstream list(value);
      for (std::string f; std::getline(list, f, ',');)
        frame_counts.push_back(std::atoi(f.c_str()));
    } else if (arg == "--method") {
      method = value == "local" ? PanelAnswer::Local : PanelAnswer::World;
    }
  }

  LoadedModule module;
  const std::string error = load_module(argv[1], module);
  const ServerInfo *server = error.empty() ? find_server(module, "LayoutGeneric", "hlvk2_Strandwell") : nullptr;
  if (!server) {
    std::fprintf(stderr, "bake_bench: %s\n", error.empty() ? "no server" : error.c_str());
    return 1;
  }
  std::printf("| items | frames | item-frames | seconds | item-frames/s | host calls / item-frame | "
              "module us / item-frame | host us / item-frame | module heap | peak RSS |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  std::vector<Run> runs;
  for (int frames : frame_counts) {
    // The module's own time: the activation against the cheap host, less the
    // same calls made to that host without the module.
    double bare_calls = 0;
    const Run cheap = bake(*server, items, frames, method, true, &bare_calls);
    const Run r = bake(*server, items, frames, method, false, nullptr);
    runs.push_back(r);
    const double item_frames = static_cast<double>(r.items) * r.frames;
    size_t calls = 0;
    for (size_t c : r.calls)
      calls += c;
    const double module_seconds = cheap.seconds - bare_calls;
    const double module_heap = (static_cast<double>(r.frames) * 72 + r.items * sizeof(void *)) / 1048576.0;
    std::printf("| %d | %d | %.0f | %.2f | %.3g | %.1f | %.3f | %.3f | %.1f MiB | %.0f MiB |\n", r.items, r.frames,
                item_frames, r.seconds, item_frames / r.seconds, static_cast<double>(calls) / item_frames,
                module_seconds * 1e6 / item_frames, (r.seconds - module_seconds) * 1e6 / item_frames, module_heap,
                static_cast<double>(r.peak_kib) / 1024.0);
    std::fflush(stdout);
  }
  const Run &last = runs.back();
  const double item_frames = static_cast<double>(last.items) * last.frames;
  std::printf("\nhost calls per item-frame, %d items x %d frames:", last.items, last.frames);
  for (int k = 0; k < CALL_KINDS; ++k)
    std::printf("%s %s %.2f", k ? "," : "", call_kind_names[k], static_cast<double>(last.calls[k]) / item_frames);
  std::printf("\n");
  if (runs.size() >= 2) {
    const Run &a = runs.front(), &b = runs.back();
    std::printf("growth from %d to %d frames: %.1f times the frames, %.1f times the time\n", a.frames, b.frames,
                static_cast<double>(b.frames) / a.frames, b.seconds / a.seconds);
  }
  unload_module(module);
  return 0;
}
