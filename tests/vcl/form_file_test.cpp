#include <gtest/gtest.h>
#include <veravo/platform/vcl/component_registry.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/form_file.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veravo {
namespace {

// A component with one property of each kind, recording what happens to it.
class TFormSample : public TComponent {
 public:
  static constexpr const char* StaticClassName = "TFormSample";
  static inline int alive = 0;

  explicit TFormSample(TComponent* owner) : TComponent(owner) { ++alive; }
  ~TFormSample() override { --alive; }
  const char* ClassName() const override { return StaticClassName; }
  void Loaded() override {
    TComponent::Loaded();
    events.push_back("Loaded");
  }

  const PropertyTable& PublishedProperties() const override {
    static const PropertyTable table = {
        Member<int>("Count", PropertyInfo::Kind::Integer, &TFormSample::count, 0),
        Member<bool>("Flag", PropertyInfo::Kind::Boolean, &TFormSample::flag, false),
        Member<AnsiString>("Caption", PropertyInfo::Kind::String, &TFormSample::caption, std::nullopt),
        Member<AnsiString>("Hidden", PropertyInfo::Kind::String, &TFormSample::hidden, std::nullopt, false),
        Member<std::vector<AnsiString>>("Lines", PropertyInfo::Kind::Strings, &TFormSample::lines,
                                        std::nullopt),
    };
    return table;
  }

  int count = 0;
  bool flag = false;
  AnsiString caption;
  AnsiString hidden = "never written";
  std::vector<AnsiString> lines;
  std::vector<std::string> events;

 private:
  template <class T>
  static PropertyInfo Member(std::string name, PropertyInfo::Kind kind, T TFormSample::*member,
                             std::optional<T> defaultValue, bool stored = true) {
    PropertyInfo p{name, kind, nullptr, nullptr, std::nullopt, stored};
    p.get = [member](const TPersistent& o) -> PropertyValue {
      return static_cast<const TFormSample&>(o).*member;
    };
    p.set = [member, name](TPersistent& o, const PropertyValue& v) {
      auto& self = static_cast<TFormSample&>(o);
      self.*member = std::get<T>(v);
      self.events.push_back(name + (self.IsLoading() ? " while loading" : ""));
    };
    if (defaultValue) p.defaultValue = PropertyValue(*defaultValue);
    return p;
  }
};

TEST(FormFile, ReadsInOrderCallsLoadedOnEveryComponentAndWritesStoredNonDefaultsBack) {
  RegisterComponents("Samples", {ClassOf<TFormSample>()});
  TComponent form(nullptr);
  TComponent* root = ReadComponentText(
      "object Outer: TFormSample\n"
      "  Caption = 'first'\n"
      "  Count = -7\n"
      "  object TFormSample\n"
      "    Count = $FFFFFFF0\n"  // hex is read as 32 bits
      "    Flag = True\n"
      "  end\n"
      "  Caption = 'it''s'#9'a ' +\n"
      "    #176#161#127#0'.'\n"
      "  Lines.Strings = (\n"
      "    'A=Apple'\n"
      "    ''\n"
      "    'q''uote')\n"
      "end\n",
      &form);
  ASSERT_EQ(form.ComponentCount(), 1);
  EXPECT_THROW(form.GetComponent(1), EComponentError);
  auto& a = dynamic_cast<TFormSample&>(*root);
  auto& b = dynamic_cast<TFormSample&>(*a.GetComponent(0));
  EXPECT_EQ(a.events, (std::vector<std::string>{"Caption while loading", "Count while loading",
                                                "Caption while loading", "Lines while loading", "Loaded"}));
  EXPECT_EQ(b.events, (std::vector<std::string>{"Count while loading", "Flag while loading", "Loaded"}));

  // What was read shows in what is written back.
  AnsiString text = WriteComponentText(a);
  EXPECT_EQ(text.str(),
            "object Outer: TFormSample\r\n"
            "  Count = -7\r\n"
            "  Caption = 'it''s'#9'a '#176#161#127#0'.'\r\n"
            "  Lines.Strings = (\r\n"
            "    'A=Apple'\r\n"
            "    ''\r\n"
            "    'q''uote')\r\n"
            "  object TFormSample\r\n"
            "    Count = -16\r\n"
            "    Flag = True\r\n"
            "  end\r\n"
            "end\r\n");
}

TEST(FormFile, BadTextNamesTheLineAndLeavesNothingBehind) {
  RegisterComponents("Samples", {ClassOf<TFormSample>()});
  const struct {
    const char* text;
    int line;
    const char* says;
  } cases[] = {
      {"object A: TNoSuchClass\nend\n", 1, "unknown class 'TNoSuchClass'"},
      {"object A: TFormSample\n  Count = 1\n  Colour = 2\nend\n", 3, "unknown property 'Colour'"},
      {"object A: TFormSample\n  Lines.Stringz = ('a')\nend\n", 2, "unknown property 'Lines.Stringz'"},
      {"object A: TFormSample\n  Count 1\nend\n", 2, "'=' expected"},
      {"object A: TFormSample\n  Caption = 'open\nend\n", 2, "unterminated string"},
      {"object A: TFormSample\n  Caption = 'open", 2, "unterminated string"},  // at the end of the text
      {"object A: TFormSample\n  Lines.Strings = (\n    'a'\nend\n", 4, "unterminated string list"},
      {"object A: TFormSample\n  Flag = Maybe\nend\n", 2, "invalid value for property Flag"},
      {"object A: TFormSample\n  Count = 'ten'\nend\n", 2, "invalid value for property Count"},
      {"object A: TFormSample\n  Count = 99999999999\nend\n", 2, "out of range"},
      {"object A: TFormSample\n  Count = 4294967295\nend\n", 2, "out of range"},  // decimal is not
      {"object A: TFormSample\n  Caption = #300\nend\n", 2, "not a byte"},
      {"object A: TFormSample\n  object B: TFormSample\n  end\n", 4, "'end' expected"},
      {"object A: TFormSample\n  object B: TFormSample\n    Count = x\n  end\nend\n", 3, "invalid value"},
      {"object A: TFormSample\nend\nend\n", 3, "text after the final 'end'"},
      {"thing A: TFormSample\nend\n", 1, "'object' expected"},
  };
  {
    TComponent least(nullptr);  // the least int is in range
    ReadComponentText("object A: TFormSample\n  Count = -2147483648\nend\n", &least);
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TComponent form(nullptr);
    try {
      ReadComponentText(c.text, &form);
      ADD_FAILURE() << "no error";
    } catch (const EReadError& e) {
      std::string message = e.what();
      EXPECT_EQ(message.rfind("Line " + std::to_string(c.line) + ": ", 0), 0u) << message;
      EXPECT_NE(message.find(c.says), std::string::npos) << message;
    }
    EXPECT_EQ(form.ComponentCount(), 0);
    EXPECT_EQ(TFormSample::alive, 0);
  }
}

}  // namespace
}  // namespace veravo
