#include "substitute_host/report.h"

#include <cstdio>

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

} // namespace subhost
