#include <gtest/gtest.h>
#include <veravo/codes/zpcombobox.h>
#include <veravo/edit/zpedit.h>
#include <veravo/package/veravo_package.h>
#include <veravo/platform/vcl/component_registry.h>

#include <string>
#include <vector>

namespace veravo {
namespace {

TEST(Package, LoadsItsUnitsInOrderWithoutRegisteringAndInstallsBothComponentsOnOnePage) {
  ComponentRegistry::Instance().Clear();
  Veravo::ClearUnitLog();
  Veravo::Initialize();
  Veravo::Finalize();
  EXPECT_EQ(Veravo::UnitLog(),
            (std::vector<std::string>{"initialization Veravo", "initialization Zcodetable",
                                      "initialization Zpcombobox", "initialization Zpliststring",
                                      "initialization Zpedit", "finalization Zpedit",
                                      "finalization Zpliststring", "finalization Zpcombobox",
                                      "finalization Zcodetable", "finalization Veravo"}));
  EXPECT_TRUE(ComponentRegistry::Instance().Entries().empty());
  for (unsigned long reason = 0; reason < 4; ++reason)
    EXPECT_EQ(Veravo::DllEntryPoint(nullptr, reason, nullptr), 1);

  // Installing puts both components on one page.
  Veravo::RegisterPackage();
  const auto& entries = ComponentRegistry::Instance().Entries();
  ASSERT_EQ(entries.size(), 2u);
  for (const char* name : {"TZPComboBox", "TZPEdit"}) {
    const ComponentRegistry::Entry* e = ComponentRegistry::Instance().Find(name);
    ASSERT_NE(e, nullptr) << name;
    EXPECT_EQ(e->page, "VEravo");
  }
  TComponent owner(nullptr);
  TComponent* box = ComponentRegistry::Instance().Create("TZPComboBox", &owner);
  EXPECT_NE(dynamic_cast<TZPComboBox*>(box), nullptr);
  EXPECT_EQ(owner.ComponentCount(), 1);
}

}  // namespace
}  // namespace veravo
