// The window's layout table, which both windows are built from: every control the form
// addresses has its row, parents come before their children, labeled edits have their labels,
// what the operator sees lies inside its parent, and every click handler is bound where both
// windows can click.

#include "console/form/FormLayout.h"
#include "console/form/LayoutScale.h"

#include "console/form/ConsoleForm.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>

namespace kelta {
namespace {

bool Inside(const ControlLayout& c, int width, int height) {
  return c.left >= 0 && c.top >= 0 && c.left + c.width <= width && c.top + c.height <= height;
}

TEST(FormLayout, NamesAreUniqueAndEveryParentIsAContainerBeforeItsChildren) {
  std::map<std::string_view, const ControlLayout*> seen;
  for (const ControlLayout& c : FormLayout()) {
    SCOPED_TRACE(std::string(c.name));
    EXPECT_TRUE(seen.emplace(c.name, &c).second) << "twice";
    EXPECT_GT(c.width, 0);
    EXPECT_GT(c.height, 0);
    if (c.parent.empty()) continue;
    const auto parent = seen.find(c.parent);
    ASSERT_NE(parent, seen.end()) << "parent after the child or missing";
    const ControlKind kind = parent->second->kind;
    EXPECT_TRUE(kind == ControlKind::Panel || kind == ControlKind::GroupBox ||
                kind == ControlKind::View);
  }
  EXPECT_EQ(&LayoutOf("Memo1"), seen.at("Memo1"));
  EXPECT_THROW(LayoutOf("Memo2"), std::out_of_range);
}

TEST(FormLayout, EveryControlTheFormAddressesHasARowOfAKindThatHoldsItsText) {
  std::set<std::string_view> names;
  for (int i = 0; i <= static_cast<int>(FormControl::lRecord); ++i) {
    const auto control = static_cast<FormControl>(i);
    const std::string_view name = FormControlName(control);
    SCOPED_TRACE(std::string(name));
    EXPECT_TRUE(names.insert(name).second) << "two controls, one name";
    const ControlLayout& c = LayoutOf(name);
    if (control == FormControl::Panel1 || control == FormControl::Panel2) {
      EXPECT_EQ(c.kind, ControlKind::Panel);
    } else if (control == FormControl::Memo1) {
      EXPECT_EQ(c.kind, ControlKind::Memo);
    } else if (control == FormControl::ePortNo) {
      EXPECT_EQ(c.kind, ControlKind::Combo);
    } else {
      EXPECT_NE(c.kind, ControlKind::Panel);
      EXPECT_NE(c.kind, ControlKind::GroupBox);
      EXPECT_NE(c.kind, ControlKind::StatusBar);
    }
  }
  EXPECT_EQ(FormControlName(CalField(11)), "lbeCal11");
}

TEST(FormLayout, LabeledEditsHaveTheirLabelJustAboveThemOnTheSameParent) {
  int labeled = 0;
  for (const ControlLayout& c : FormLayout()) {
    if (c.kind != ControlKind::LabeledEdit) continue;
    SCOPED_TRACE(std::string(c.name));
    ++labeled;
    const ControlLayout& label = LayoutOf(std::string(c.name) + ".EditLabel");
    EXPECT_EQ(label.kind, ControlKind::Label);
    EXPECT_EQ(label.parent, c.parent);
    EXPECT_EQ(label.left, c.left);
    EXPECT_EQ(label.top + label.height + 3, c.top);
    EXPECT_EQ(label.hidden, c.hidden);
    EXPECT_FALSE(label.caption.empty());
    EXPECT_EQ(c.height, kEditHeight);
  }
  // Six on the console, the two ranges to send, three and twelve calibration fields in the
  // hidden holder.
  EXPECT_EQ(labeled, 6 + 2 + 3 + 12);
}

TEST(FormLayout, WhatTheOperatorSeesLiesInsideItsParentAndTheWindow) {
  std::map<std::string_view, const ControlLayout*> byName;
  for (const ControlLayout& c : FormLayout()) byName[c.name] = &c;
  for (const ControlLayout& c : FormLayout()) {
    // The Qt window's picture holders lie beyond the right edge on purpose.
    if (c.hidden || c.name == "Src" || c.name == "ivBGR") continue;
    SCOPED_TRACE(std::string(c.name));
    if (c.parent.empty()) {
      EXPECT_TRUE(Inside(c, kFormWidth, kFormHeight));
    } else {
      const ControlLayout& parent = *byName.at(c.parent);
      EXPECT_TRUE(Inside(c, parent.width, parent.height));
    }
  }
  const ControlLayout& bar = LayoutOf("StatusBar1");
  EXPECT_EQ(bar.top + bar.height, kFormHeight);
  EXPECT_EQ(kStatusPanelWidths[0] + kStatusPanelWidths[1], 660);
}

TEST(FormLayout, ShownSiblingsDoNotCoverEachOther) {
  // Two controls in the same parent covering each other would hide one from the operator.
  // "Clear" reaches one pixel into the list below it, as the window always had it.
  const auto table = FormLayout();
  for (size_t i = 0; i < table.size(); ++i) {
    const ControlLayout& a = table[i];
    if (a.hidden || a.parent.empty()) continue;
    for (size_t j = i + 1; j < table.size(); ++j) {
      const ControlLayout& b = table[j];
      if (b.hidden || b.parent != a.parent) continue;
      const bool overlap = a.left < b.left + b.width && b.left < a.left + a.width &&
                           a.top < b.top + b.height && b.top < a.top + a.height;
      const bool known = a.name == "btClear" && b.name == "Memo1";
      EXPECT_FALSE(overlap && !known) << a.name << " and " << b.name;
    }
  }
}

TEST(FormLayout, EveryClickHandlerIsBoundOnceToAControlBothWindowsCanClick) {
  // The form's click handlers, each run by one button; the console panel's bare background
  // runs the first raw line's Send as well.
  const std::map<std::string_view, FormClick> handlers = {
      {"Button3", &ConsoleForm::Button3Click},       {"btn10", &ConsoleForm::btn10Click},
      {"btIDchange", &ConsoleForm::btIDchangeClick}, {"btDATA", &ConsoleForm::btDATAClick},
      {"btREAD", &ConsoleForm::btREADClick},         {"btStop", &ConsoleForm::btStopClick},
      {"btn25", &ConsoleForm::btn25Click},           {"Button25", &ConsoleForm::Button25Click},
      {"Button26", &ConsoleForm::Button26Click},     {"bt360Send1", &ConsoleForm::bt360Send1Click},
      {"bt360Send2", &ConsoleForm::bt360Send2Click}, {"bt360Send3", &ConsoleForm::bt360Send3Click},
      {"btB105", &ConsoleForm::btB105Click},         {"btHelp", &ConsoleForm::btHelpClick},
      {"btClose", &ConsoleForm::btCloseClick},       {"btClear", &ConsoleForm::btClearClick},
      {"btRecord", &ConsoleForm::btRecordClick},     {"btFolder", &ConsoleForm::btFolderClick},
      {"btTrend", &ConsoleForm::btTrendClick},
  };
  std::map<std::string_view, FormClick> bound;
  for (const ControlLayout& c : FormLayout()) {
    if (c.click == nullptr) continue;
    SCOPED_TRACE(std::string(c.name));
    // What the windows turn into a click: a button's press, a panel's bare background.
    EXPECT_TRUE(c.kind == ControlKind::Button || c.kind == ControlKind::ToggleButton ||
                c.kind == ControlKind::Panel);
    EXPECT_FALSE(c.hidden && c.kind != ControlKind::Panel) << "a handler no one can reach";
    if (c.kind == ControlKind::Panel) {
      EXPECT_EQ(c.name, "Panel1");
      EXPECT_TRUE(c.click == &ConsoleForm::bt360Send1Click);
      continue;
    }
    for (const auto& [name, handler] : bound)
      EXPECT_FALSE(handler == c.click) << "the handler of " << name << " again";
    bound.emplace(c.name, c.click);
  }
  EXPECT_EQ(bound.size(), handlers.size());
  for (const auto& [name, handler] : handlers) {
    SCOPED_TRACE(std::string(name));
    const auto it = bound.find(name);
    ASSERT_NE(it, bound.end()) << "no handler";
    EXPECT_TRUE(it->second == handler);
  }
  // A button without a handler does nothing in either window: only the reset never offered.
  for (const ControlLayout& c : FormLayout())
    EXPECT_TRUE(c.kind != ControlKind::Button || c.click != nullptr || c.name == "btn28") << c.name;
}

// A window on a denser screen: table pixels times dpi / 96, halves up; edges scaled, so rows
// that touch in the table still touch and 96 DPI is the table itself.
TEST(FormLayout, PlacesScaleByTheDpiRoundedToTheNearestPixelHalvesUp) {
  EXPECT_EQ(ScaleToDpi(100, 144), 150);
  EXPECT_EQ(ScaleToDpi(1, 144), 2);    // 1.5
  EXPECT_EQ(ScaleToDpi(3, 120), 4);    // 3.75
  EXPECT_EQ(ScaleToDpi(5, 110), 6);    // 5.73
  EXPECT_EQ(ScaleToDpi(7, 110), 8);    // 8.02
  EXPECT_EQ(ScaleToDpi(-1, 144), -1);  // -1.5
  EXPECT_EQ(ScaleToDpi(-3, 120), -4);  // -3.75
  EXPECT_EQ(ScaleToDpi(kFormWidth, 192), 2 * kFormWidth);
  const ControlLayout row{"x", ControlKind::Button, "", "", 5, 7, 10, 11};
  const ControlPlace at144 = PlaceAt(row, 144);
  EXPECT_EQ(at144.left, 8);     // 7.5
  EXPECT_EQ(at144.top, 11);     // 10.5
  EXPECT_EQ(at144.width, 15);   // right edge 22.5 -> 23
  EXPECT_EQ(at144.height, 16);  // bottom edge 27 -> 27
  for (const ControlLayout& c : FormLayout()) {
    SCOPED_TRACE(std::string(c.name));
    const ControlPlace same = PlaceAt(c, kLayoutDpi);
    EXPECT_EQ(same.left, c.left);
    EXPECT_EQ(same.top, c.top);
    EXPECT_EQ(same.width, c.width);
    EXPECT_EQ(same.height, c.height);
    for (const int dpi : {120, 144, 168, 192}) {
      const ControlPlace p = PlaceAt(c, dpi);
      EXPECT_NEAR(p.width, c.width * dpi / 96.0, 1.0);
      EXPECT_NEAR(p.height, c.height * dpi / 96.0, 1.0);
      EXPECT_EQ(p.left + p.width, ScaleToDpi(c.left + c.width, dpi));
    }
  }
}

}  // namespace
}  // namespace kelta
