// The module's entry as the host sees it: descriptor, startup, activation
// results, service lookups and the options panel, through the real module file.

#include <string>
#include <vector>

#include "substitute_host/report.h"
#include "tests/module_fixture.h"

namespace {

using module_fixture::activate;
using subhost::Host;
using subhost::PanelAnswer;

const std::vector<std::string> all_services(subhost::service_names, subhost::service_names + 7);

std::vector<std::string> lookup_names(const Host &h)
{
  std::vector<std::string> names;
  for (const auto &l : h.lookups) {
    names.push_back(l.name);
    EXPECT_EQ(l.use_mode, 0) << l.name;
  }
  return names;
}

// A descriptor read at the wrong offsets, a second server, or a startup that
// returns null (the host then refuses the module).
TEST(Module, DescriptorStartupAndShutdown)
{
  const auto &m = module_fixture::module();
  EXPECT_EQ(m.machine, 0x300u);
  ASSERT_EQ(m.servers.size(), 1u);
  EXPECT_EQ(m.servers[0].class_name, "LayoutGeneric");
  EXPECT_EQ(m.servers[0].server_name, "hlvk2_Strandwell");
  EXPECT_EQ(m.servers[0].tags, nullptr);
  EXPECT_EQ(m.startup(), reinterpret_cast<void *>(4));
  m.shutdown(nullptr);
}

// Any version but 5 is refused before the module touches the host.
TEST(Activation, WrongVersionIsRefusedBeforeAnyLookup)
{
  for (int version : {4, 6, 0, -5}) {
    Host h;
    EXPECT_EQ(activate(h, version), 1) << version;
    EXPECT_TRUE(h.lookups.empty()) << version;
    EXPECT_TRUE(h.panels.empty()) << version;
  }
}

// A missing service ends the activation with 2 after all seven lookups, in
// order and with use mode 0, before any panel: without any one of them the
// bake would call through a null table.
TEST(Activation, MissingServiceGivesTwoWithoutPanel)
{
  for (const std::string &missing : all_services) {
    Host h;
    h.withheld = {missing};
    EXPECT_EQ(activate(h), 2) << missing;
    EXPECT_EQ(lookup_names(h), all_services) << missing;
    EXPECT_TRUE(h.panels.empty()) << missing;
    EXPECT_EQ(h.refused_panels, 0) << missing;
    EXPECT_TRUE(h.commands.empty()) << missing;
  }
}

// The panel exactly as built: a descriptor member at the wrong offset shows
// here as a wrong width, item list or line list.
TEST(Panel, IsBuiltAsLaidOut)
{
  Host h;
  h.answer = PanelAnswer::Local;
  ASSERT_EQ(activate(h), 0);
  EXPECT_EQ(lookup_names(h), all_services);
  ASSERT_EQ(h.panels.size(), 1u);
  const auto &p = h.panels[0];
  EXPECT_EQ(p.title, "Halvork2 Strandwell");
  EXPECT_EQ(p.user_data, nullptr);
  EXPECT_TRUE(p.lookup_set_at_create) << "the lookup member must be set before the first panel call";
  ASSERT_EQ(p.controls.size(), 3u);

  const auto &choice = p.controls[0];
  EXPECT_EQ(choice.type_name, "ChoiceControl");
  EXPECT_EQ(choice.type_code, 9);
  EXPECT_EQ(choice.items, (std::vector<std::string>{"World", "Local"}));
  EXPECT_EQ(choice.vertical, 0);
  EXPECT_EQ(choice.label, "Method");

  const auto &border = p.controls[1];
  EXPECT_EQ(border.type_name, "BorderControl");
  EXPECT_EQ(border.type_code, 19);
  EXPECT_EQ(border.width, 250);
  EXPECT_EQ(border.height, 0);
  EXPECT_EQ(border.label, "");

  const auto &notice = p.controls[2];
  EXPECT_EQ(notice.type_name, "TextControl");
  EXPECT_EQ(notice.type_code, 12);
  EXPECT_EQ(notice.text.size(), 2u);
  EXPECT_EQ(notice.label, "Notice:");

  EXPECT_EQ(p.open_flags, std::vector<int>{3});
  ASSERT_EQ(p.reads.size(), 1u);
  EXPECT_EQ(p.reads[0].control, 0u);
  EXPECT_EQ(p.reads[0].attribute, 4);
  EXPECT_EQ(p.reads[0].type_field, 2);
}

// Cancel reads nothing and sends nothing; OK reads the choice once, whatever
// item the user left it on.
TEST(Panel, AnswerDecidesWhatIsRead)
{
  struct Case {
    PanelAnswer answer;
    int32_t default_choice;
    bool read;
    int32_t method;
  };
  const Case cases[] = {
      {PanelAnswer::Cancel, 0, false, 0},
      {PanelAnswer::World, 1, true, 0},
      {PanelAnswer::Local, 0, true, 1},
      {PanelAnswer::Default, 0, true, 0},
      {PanelAnswer::Default, 1, true, 1},
  };
  for (const Case &c : cases) {
    Host h;
    h.answer = c.answer;
    h.default_choice = c.default_choice;
    EXPECT_EQ(activate(h), 0);
    ASSERT_EQ(h.panels.size(), 1u);
    EXPECT_EQ(h.panels[0].open_flags.size(), 1u);
    EXPECT_TRUE(h.commands.empty());
    ASSERT_EQ(h.panels[0].reads.size(), c.read ? 1u : 0u) << subhost::answer_name(c.answer);
    if (c.read) {
      EXPECT_TRUE(h.panels[0].reads[0].written);
      EXPECT_EQ(h.panels[0].reads[0].value, c.method);
    }
  }
}

// Module-level panel state must not leak from one activation into the next.
TEST(Panel, EachActivationBuildsItsOwnPanel)
{
  Host h;
  h.answer = PanelAnswer::World;
  EXPECT_EQ(activate(h), 0);
  EXPECT_EQ(activate(h), 0);
  ASSERT_EQ(h.panels.size(), 2u);
  for (const auto &p : h.panels) {
    EXPECT_EQ(p.controls.size(), 3u);
    EXPECT_EQ(p.open_flags.size(), 1u);
    EXPECT_EQ(p.reads.size(), 1u);
  }
}

// A panel the host cannot create: nothing is added to it, nothing sent, and
// the activation ends as a cancel would.
TEST(Panel, RefusedPanelEndsLikeCancel)
{
  Host h;
  h.refuse_panel = true;
  EXPECT_EQ(activate(h), 0);
  EXPECT_EQ(h.refused_panels, 1);
  EXPECT_EQ(h.controls_without_panel, 0);
  EXPECT_TRUE(h.commands.empty());
}

} // namespace
