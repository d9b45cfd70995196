#include <veravo/platform/vcl/component_registry.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/form_file.h>
#include <veravo/platform/vcl/strings.h>

#include <cctype>
#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace veravo {

namespace {

constexpr const char* kEol = "\r\n";

bool IsPrintable(unsigned char c) { return c >= 0x20 && c < 0x7F; }

// ---- writing ---------------------------------------------------------------

bool IsDefault(const PropertyInfo& p, const PropertyValue& value) {
  if (p.defaultValue) return value == *p.defaultValue;
  if (const auto* s = std::get_if<AnsiString>(&value)) return s->IsEmpty();
  if (const auto* l = std::get_if<std::vector<AnsiString>>(&value)) return l->empty();
  return false;
}

void WriteProperty(std::string& out, const std::string& indent, const PropertyInfo& p,
                   const PropertyValue& value) {
  switch (p.kind) {
    case PropertyInfo::Kind::Integer:
      out += indent + p.name + " = " + std::to_string(std::get<int>(value)) + kEol;
      break;
    case PropertyInfo::Kind::Boolean:
      out += indent + p.name + " = " + (std::get<bool>(value) ? "True" : "False") + kEol;
      break;
    case PropertyInfo::Kind::String:
      out += indent + p.name + " = " + QuoteFormString(std::get<AnsiString>(value)).str() + kEol;
      break;
    case PropertyInfo::Kind::Strings: {
      const auto& lines = std::get<std::vector<AnsiString>>(value);
      out += indent + p.name + ".Strings = (";
      for (const AnsiString& line : lines)
        out += std::string(kEol) + indent + "  " + QuoteFormString(line).str();
      out += std::string(")") + kEol;
      break;
    }
  }
}

void WriteObject(std::string& out, const TComponent& component, int depth) {
  std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  out += indent + "object ";
  if (!component.GetName().IsEmpty()) out += component.GetName().str() + ": ";
  out += std::string(component.ClassName()) + kEol;
  for (const PropertyInfo& p : component.PublishedProperties()) {
    if (!p.stored) continue;
    PropertyValue value = p.get(component);
    if (IsDefault(p, value)) continue;
    WriteProperty(out, indent + "  ", p, value);
  }
  for (int i = 0; i < component.ComponentCount(); ++i)
    WriteObject(out, *component.GetComponent(i), depth + 1);
  out += indent + "end" + kEol;
}

// ---- reading ---------------------------------------------------------------

struct Token {
  enum class Kind { Identifier, Integer, String, Symbol, End };
  Kind kind = Kind::End;
  std::string text;  // identifier, string value or symbol character
  long long number = 0;
  int line = 0;
};

[[noreturn]] void Fail(int line, const std::string& what) {
  throw EReadError("Line " + IntToStr(line) + ": " + AnsiString(what));
}

class Lexer {
 public:
  explicit Lexer(const std::string& text) : text_(text) {}

  const Token& Peek() {
    if (!peeked_) {
      next_ = Scan();
      peeked_ = true;
    }
    return next_;
  }
  Token Take() {
    Peek();
    peeked_ = false;
    return next_;
  }

 private:
  char At(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }

  void SkipBlanks() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == '\n') {
        ++line_;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        break;
      }
      ++pos_;
    }
  }

  Token Scan() {
    SkipBlanks();
    Token t;
    t.line = line_;
    if (pos_ >= text_.size()) return t;
    char c = text_[pos_];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      t.kind = Token::Kind::Identifier;
      while (pos_ < text_.size()) {
        char d = text_[pos_];
        if (!std::isalnum(static_cast<unsigned char>(d)) && d != '_' && d != '.') break;
        t.text += d;
        ++pos_;
      }
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '$' ||
        (c == '-' && (std::isdigit(static_cast<unsigned char>(At(pos_ + 1))) || At(pos_ + 1) == '$'))) {
      return ScanNumber(t);
    }
    if (c == '\'' || c == '#') return ScanString(t);
    t.kind = Token::Kind::Symbol;
    t.text = std::string(1, c);
    ++pos_;
    return t;
  }

  Token ScanNumber(Token& t) {
    bool negative = text_[pos_] == '-';
    if (negative) ++pos_;
    int base = 10;
    if (At(pos_) == '$') {
      base = 16;
      ++pos_;
    }
    std::string digits;
    while (std::isxdigit(static_cast<unsigned char>(At(pos_))) &&
           (base == 16 || std::isdigit(static_cast<unsigned char>(At(pos_))))) {
      digits += text_[pos_++];
    }
    if (digits.empty() || std::isalpha(static_cast<unsigned char>(At(pos_)))) Fail(t.line, "invalid number");
    if (digits.size() > 10) Fail(t.line, "number out of range");
    long long value = std::stoll(digits, nullptr, base);
    if (base == 16 && value <= static_cast<long long>(UINT_MAX) && value > INT_MAX) {
      value = static_cast<int>(static_cast<unsigned int>(value));
    }
    if (negative) value = -value;
    if (value < INT_MIN || value > INT_MAX) Fail(t.line, "number out of range");
    t.kind = Token::Kind::Integer;
    t.number = value;
    return t;
  }

  // Quoted pieces and #nnn bytes written next to each other form one string.
  Token ScanString(Token& t) {
    t.kind = Token::Kind::String;
    for (;;) {
      char c = At(pos_);
      if (c == '\'') {
        ++pos_;
        for (;;) {
          if (pos_ >= text_.size() || text_[pos_] == '\n' || text_[pos_] == '\r') {
            Fail(t.line, "unterminated string");
          }
          char d = text_[pos_++];
          if (d == '\'') {
            if (At(pos_) != '\'') break;
            ++pos_;
          }
          t.text += d;
        }
      } else if (c == '#') {
        ++pos_;
        int base = 10;
        if (At(pos_) == '$') {
          base = 16;
          ++pos_;
        }
        std::string digits;
        while (base == 16 ? std::isxdigit(static_cast<unsigned char>(At(pos_)))
                          : std::isdigit(static_cast<unsigned char>(At(pos_)))) {
          digits += text_[pos_++];
        }
        if (digits.empty() || digits.size() > 3) Fail(t.line, "invalid character code after '#'");
        int code = std::stoi(digits, nullptr, base);
        if (code > 255) Fail(t.line, "character code " + std::to_string(code) + " is not a byte");
        t.text += static_cast<char>(code);
      } else {
        return t;
      }
    }
  }

  const std::string& text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  bool peeked_ = false;
  Token next_;
};

bool IsKeyword(const Token& t, const char* word) {
  return t.kind == Token::Kind::Identifier && CompareTextAnsi(t.text, word) == 0;
}

class Reader {
 public:
  explicit Reader(const std::string& text) : lexer_(text) {}

  TComponent* Read(TComponent* owner) {
    TComponent* root = nullptr;
    try {
      root = ReadObject(owner, &root);
      const Token& rest = lexer_.Peek();
      if (rest.kind != Token::Kind::End) Fail(rest.line, "text after the final 'end'");
      for (TComponent* c : created_) c->Loaded();
    } catch (...) {
      // Nested components belong to the outer one and go with it.
      delete root;
      throw;
    }
    return root;
  }

 private:
  // Creates the object and stores it in *slot before reading its body, so
  // that an error inside leaves it where the caller frees it.
  TComponent* ReadObject(TComponent* owner, TComponent** slot) {
    Token head = lexer_.Take();
    if (!IsKeyword(head, "object")) Fail(head.line, "'object' expected");
    Token first = lexer_.Take();
    if (first.kind != Token::Kind::Identifier) Fail(first.line, "component name or class name expected");
    std::string name;
    std::string className = first.text;
    if (lexer_.Peek().kind == Token::Kind::Symbol && lexer_.Peek().text == ":") {
      lexer_.Take();
      Token cls = lexer_.Take();
      if (cls.kind != Token::Kind::Identifier) Fail(cls.line, "class name expected after ':'");
      name = first.text;
      className = cls.text;
    }
    if (!ComponentRegistry::Instance().Find(className)) Fail(first.line, "unknown class '" + className + "'");
    TComponent* component = ComponentRegistry::Instance().Create(className, owner);
    if (slot) *slot = component;
    component->SetName(AnsiString(name));
    component->SetLoading(true);
    created_.push_back(component);

    for (;;) {
      const Token& t = lexer_.Peek();
      if (t.kind == Token::Kind::End) {
        Fail(t.line, "'end' expected: object '" + (name.empty() ? className : name) + "' from line " +
                         std::to_string(head.line) + " is not closed");
      }
      if (IsKeyword(t, "end")) {
        lexer_.Take();
        return component;
      }
      if (IsKeyword(t, "object")) {
        ReadObject(component, nullptr);
        continue;
      }
      if (t.kind != Token::Kind::Identifier) Fail(t.line, "property name expected");
      ReadProperty(*component);
    }
  }

  void ReadProperty(TComponent& component) {
    Token name = lexer_.Take();
    Token eq = lexer_.Take();
    if (eq.kind != Token::Kind::Symbol || eq.text != "=") Fail(name.line, "'=' expected after " + name.text);
    const PropertyInfo* p = component.FindProperty(name.text);
    const std::string suffix = ".Strings";
    if (!p && name.text.size() > suffix.size() &&
        CompareTextAnsi(name.text.substr(name.text.size() - suffix.size()), suffix) == 0) {
      p = component.FindProperty(name.text.substr(0, name.text.size() - suffix.size()));
      if (p && p->kind != PropertyInfo::Kind::Strings) p = nullptr;
    }
    if (!p) {
      Fail(name.line, "unknown property '" + name.text + "' of class " + std::string(component.ClassName()));
    }
    PropertyValue value = ReadValue(name, *p);
    try {
      p->set(component, value);
    } catch (const Exception& e) {
      Fail(name.line, "cannot set " + name.text + ": " + e.Message.str());
    }
  }

  // A string with "+" continuations.
  std::string ReadStringExpression() {
    Token t = lexer_.Take();
    std::string s = t.text;
    while (lexer_.Peek().kind == Token::Kind::Symbol && lexer_.Peek().text == "+") {
      Token plus = lexer_.Take();
      Token more = lexer_.Take();
      if (more.kind != Token::Kind::String) Fail(plus.line, "string expected after '+'");
      s += more.text;
    }
    return s;
  }

  PropertyValue ReadValue(const Token& name, const PropertyInfo& p) {
    const Token& t = lexer_.Peek();
    const int line = t.line;
    switch (p.kind) {
      case PropertyInfo::Kind::Integer:
        if (t.kind == Token::Kind::Integer) return static_cast<int>(lexer_.Take().number);
        break;
      case PropertyInfo::Kind::Boolean:
        if (IsKeyword(t, "True") || IsKeyword(t, "False")) {
          bool value = IsKeyword(t, "True");
          lexer_.Take();
          return value;
        }
        break;
      case PropertyInfo::Kind::String:
        if (t.kind == Token::Kind::String) return AnsiString(ReadStringExpression());
        break;
      case PropertyInfo::Kind::Strings:
        if (t.kind == Token::Kind::Symbol && t.text == "(") return ReadStringList(name);
        break;
    }
    Fail(line, "invalid value for property " + name.text);
  }

  std::vector<AnsiString> ReadStringList(const Token& name) {
    int opened = lexer_.Take().line;
    std::vector<AnsiString> lines;
    for (;;) {
      const Token& item = lexer_.Peek();
      if (item.kind == Token::Kind::Symbol && item.text == ")") {
        lexer_.Take();
        return lines;
      }
      if (item.kind != Token::Kind::String) {
        Fail(item.line, "unterminated string list of " + name.text + " (opened on line " +
                            std::to_string(opened) + "): string or ')' expected");
      }
      lines.emplace_back(ReadStringExpression());
    }
  }

  Lexer lexer_;
  std::vector<TComponent*> created_;
};

}  // namespace

AnsiString QuoteFormString(const AnsiString& value) {
  const std::string& s = value.str();
  if (s.empty()) return AnsiString("''");
  std::string out;
  bool quoted = false;
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    if (IsPrintable(c)) {
      if (!quoted) out += '\'';
      quoted = true;
      if (c == '\'') out += '\'';
      out += ch;
    } else {
      if (quoted) out += '\'';
      quoted = false;
      out += '#';
      out += std::to_string(c);
    }
  }
  if (quoted) out += '\'';
  return AnsiString(std::move(out));
}

AnsiString WriteComponentText(const TComponent& component) {
  std::string out;
  WriteObject(out, component, 0);
  return AnsiString(std::move(out));
}

TComponent* ReadComponentText(const AnsiString& text, TComponent* owner) {
  Reader reader(text.str());
  return reader.Read(owner);
}

}  // namespace veravo
