#include <gtest/gtest.h>
#include <veravo/codes/zpcombobox.h>
#include <veravo/edit/zpedit.h>
#include <veravo/package/veravo_package.h>
#include <veravo/platform/vcl/component_registry.h>
#include <veravo/platform/vcl/form_file.h>

#include <memory>
#include <string>
#include <vector>

namespace veravo {
namespace {

TEST(Package, LoadsItsUnitsInOrderInstallsBothComponentsOnOnePageAndTheirFormsReadBackEqual) {
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

  // Installing puts both components on one page.
  Veravo::RegisterPackage();
  const auto& entries = ComponentRegistry::Instance().Entries();
  ASSERT_EQ(entries.size(), 2u);  // reading the form below finds both
  for (const ComponentRegistry::Entry& e : entries) EXPECT_EQ(e.page, "VEravo");

  // A form with both, written (what differs from the defaults) and read back
  // through the installed classes; a plain component stands in for the form.
  RegisterComponents("Tests", {{"TComponent", [](TComponent* owner) { return new TComponent(owner); }}});
  TComponent form(nullptr);
  form.SetName("Till");
  auto* box = new TZPComboBox(&form);
  box->SetName("PayType");
  EXPECT_EQ(WriteComponentText(*box).str(),  // only what differs from the defaults
            "object PayType: TZPComboBox\r\n"
            "  Left = 0\r\n"
            "  Top = 0\r\n"
            "  Width = 145\r\n"
            "  Height = 21\r\n"
            "  ItemHeight = 13\r\n"
            "end\r\n");
  box->Left = 16;
  box->SetSorted(true);
  box->TabOrder = 0;
  box->Color = 0x00FF00;
  box->Enabled = false;
  box->Font.Height = -13;
  box->SetText("it's \xB8\xB6\xBF\xEE");
  box->AddCode("01", "Cash");
  box->AddCode("02", "\xD2\xF8\xD0\xD0\xBF\xA8");
  box->AddCode("01", "repeat");
  box->AddCode("Q'", "quote");
  auto* edit = new TZPEdit(&form);
  edit->SetName("Printer");
  edit->SetProtName("COM3");
  edit->SetBaudRate(9600);

  AnsiString text = WriteComponentText(form);
  EXPECT_NE(text.str().find("  Sorted = True\r\n    TabOrder = 0\r\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("    ZCodeTable.Strings = (\r\n      '01=Cash'\r\n"), std::string::npos)
      << text.str();
  // The edit's speed and port name are written; SleepTiem and MsgType are at their defaults.
  EXPECT_NE(text.str().find(
                "  object Printer: TZPEdit\r\n    ProtName = 'COM3'\r\n    BaudRate = 9600\r\n  end\r\n"),
            std::string::npos)
      << text.str();
  TComponent host(nullptr);
  TComponent* read = ReadComponentText(text, &host);
  ASSERT_EQ(read->ComponentCount(), 2);
  auto& box2 = dynamic_cast<TZPComboBox&>(*read->GetComponent(0));

  EXPECT_EQ(WriteComponentText(*read), text);  // every stored property was read back
  // The items are not stored; they are rebuilt from the lines and sorted,
  // and the repeated code shows its first value.
  EXPECT_EQ(text.str().find("Items"), std::string::npos);
  EXPECT_EQ(box2.Items()->ToVector(),
            (std::vector<AnsiString>{"Cash", "Cash", "quote", "\xD2\xF8\xD0\xD0\xBF\xA8"}));
  EXPECT_EQ(box2.FindCode("q'"), 3);
  EXPECT_FALSE(box2.IsLoading());
}

}  // namespace
}  // namespace veravo
