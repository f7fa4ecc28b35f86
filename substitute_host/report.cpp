#include "substitute_host/report.h"

#include <cstdio>
#include <cstring>

namespace subhost {
namespace {

std::string quoted_list(const std::vector<std::string> &list)
{
  std::string out;
  for (const std::string &s : list)
    out += (out.empty() ? "\"" : ", \"") + s + "\"";
  return out;
}

std::string hex(uint32_t v)
{
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", v);
  return text;
}

} // namespace

const char *answer_name(PanelAnswer answer)
{
  switch (answer) {
  case PanelAnswer::Cancel: return "cancel";
  case PanelAnswer::World: return "world";
  case PanelAnswer::Local: return "local";
  case PanelAnswer::Default: return "default";
  }
  return "?";
}

std::string describe_module(const LoadedModule &module)
{
  std::string out = "descriptor: sync " + hex(module.sync_word) + ", version " + std::to_string(module.version) +
                    ", machine " + hex(module.machine) + "\n";
  for (const ServerInfo &s : module.servers)
    out += "server: " + s.class_name + " \"" + s.server_name + "\"" + (s.tags ? " (with tags)" : "") + "\n";
  return out;
}

std::string describe_activation(const Host &host, int result)
{
  std::string out;
  out += "lookups:";
  for (const LookupRecord &l : host.lookups)
    out += " \"" + l.name + "\"/" + std::to_string(l.use_mode);
  out += host.lookups.empty() ? " none\n" : "\n";

  for (const PanelRecord &p : host.panels) {
    out += "panel \"" + p.title + "\"" + (p.lookup_set_at_create ? "" : " (lookup member not set)") + "\n";
    for (const ControlRecord &c : p.controls) {
      out += "  " + c.type_name + " type " + std::to_string(c.type_code);
      if (c.type_name == "ChoiceControl")
        out += " items " + quoted_list(c.items) + " vertical " + std::to_string(c.vertical);
      else if (c.type_name == "BorderControl")
        out += " width " + std::to_string(c.width) + " height " + std::to_string(c.height);
      else if (c.type_name == "TextControl")
        out += " lines " + quoted_list(c.text);
      out += " label \"" + c.label + "\"\n";
    }
    for (int flags : p.open_flags)
      out += "  opened with flags " + std::to_string(flags) + ", answered " + answer_name(host.answer) + "\n";
    for (const ValueRead &r : p.reads) {
      out += "  value of control " + std::to_string(r.control + 1) + " read with attribute " +
             std::to_string(r.attribute) + ", type field " + std::to_string(r.type_field);
      out += r.written ? ": method " + std::to_string(r.value) + "\n" : ": nothing written\n";
    }
  }
  if (host.panels.empty())
    out += "panel: none\n";

  out += "commands: " + std::to_string(host.commands.size()) + "\n";
  const size_t shown = 24;
  for (size_t i = 0; i < host.commands.size() && i < shown; ++i)
    out += "  " + host.commands[i] + "\n";
  if (host.commands.size() > shown)
    out += "  ... " + std::to_string(host.commands.size() - shown) + " more\n";
  out += "result: " + std::to_string(result) + "\n";
  return out;
}

namespace {

int64_t first_frame(const Host &h) { return h.preview_first; }
int64_t frame_count(const Host &h)
{
  int64_t span = static_cast<int64_t>(h.preview_last) - h.preview_first;
  return (span < 0 ? -span : span) + 1;
}

std::string number(double value)
{
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  return text;
}

} // namespace

std::vector<Track> track_selection(Host &host)
{
  std::vector<Track> tracks;
  for (Handle h : host.selection)
    tracks.push_back(track_item(host.scene, item_id(h), first_frame(host), frame_count(host)));
  return tracks;
}

std::string describe_bake(Host &host, const std::vector<Track> &before)
{
  std::string out;
  for (const Track &b : before) {
    const Item *item = find_item(host.scene, b.item);
    if (!item)
      continue;
    size_t keys = 0;
    uint64_t digest = 14695981039346656037ull; // FNV-1a over the bits of every key's time and value
    for (const Channel &c : item->channels) {
      keys += c.keys_created;
      for (const Key &k : c.keys)
        for (double v : {k.time, k.value}) {
          uint64_t bits;
          std::memcpy(&bits, &v, sizeof bits);
          for (int byte = 0; byte < 8; ++byte)
            digest = (digest ^ ((bits >> (8 * byte)) & 0xff)) * 1099511628211ull;
        }
    }
    int links = 0, controllers = 0;
    for (uint64_t l : item->links)
      links += l != 0;
    for (int c : item->controllers)
      controllers += c != CONTROLLER_KEYS;
    char id[24];
    std::snprintf(id, sizeof id, "%llx", static_cast<unsigned long long>(item->id));
    out += "item " + std::string(id) + " \"" + item->name + "\": " + std::to_string(keys) + " keys written; " +
           (item->parent ? "parented" : "no parent") + ", " + std::to_string(links) + " links, " +
           std::to_string(controllers) + " controllers, " + std::to_string(item->modifiers.size()) +
           " modifiers left\n";
    char digest_text[40];
    std::snprintf(digest_text, sizeof digest_text, "  keys digest %016llx\n", static_cast<unsigned long long>(digest));
    out += digest_text;
    const Track after = track_item(host.scene, b.item, first_frame(host), frame_count(host));
    const TrackDifference d = compare_tracks(b, after);
    const bool kept = d.position <= 1e-5 && d.axes <= 1e-5 && d.scale <= 1e-5 && (!item->parent || d.local == 0);
    out += "  frames " + std::to_string(first_frame(host)) + ".." +
           std::to_string(first_frame(host) + frame_count(host) - 1) +
           ", largest difference from before the bake: world position " + number(d.position) + ", world axes " +
           number(d.axes) + ", world scale " + number(d.scale) +
           (item->parent ? ", local values " + number(d.local) : "") + (kept ? " (kept)\n" : " (NOT KEPT)\n");
  }
  return out;
}

} // namespace subhost
