#include <gtest/gtest.h>

#include <vector>

#include "framework/Component.h"

namespace {
// Records its own destruction so ownership can be observed.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, AnsiText name, std::vector<AnsiText>* log) : TComponent(owner), log_(log) {
    SetName(std::move(name));
  }
  ~TProbe() override { log_->push_back(Name()); }

 private:
  std::vector<AnsiText>* log_;
};
}  // namespace

TEST(Component, OwnerListsComponentsInCreationOrder) {
  std::vector<AnsiText> log;
  TComponent form(nullptr);
  auto* a = new TProbe(&form, "a", &log);
  auto* b = new TProbe(&form, "b", &log);
  ASSERT_EQ(form.ComponentCount(), 2);
  EXPECT_EQ(form.Components(0), a);
  EXPECT_EQ(form.Components(1), b);
  EXPECT_EQ(a->Owner(), &form);
  EXPECT_EQ(form.FindComponent("b"), b);
  EXPECT_EQ(form.FindComponent("c"), nullptr);
}

TEST(Component, OwnerFreesOwnedComponentsAndTheirChildren) {
  std::vector<AnsiText> log;
  {
    TComponent form(nullptr);
    auto* panel = new TProbe(&form, "panel", &log);
    new TProbe(panel, "label", &log);
    new TProbe(&form, "timer", &log);
  }
  // Last created first; a component's own destructor runs before it frees its children.
  EXPECT_EQ(log, (std::vector<AnsiText>{"timer", "panel", "label"}));
}

TEST(Component, FreedComponentLeavesItsOwnersList) {
  std::vector<AnsiText> log;
  TComponent form(nullptr);
  auto* a = new TProbe(&form, "a", &log);
  new TProbe(&form, "b", &log);
  delete a;
  ASSERT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0)->Name(), "b");
}
