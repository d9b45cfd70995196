#include "method_table.h"

#include <veravo/edit/zpedit.h>

#include <charconv>
#include <functional>
#include <stdexcept>

namespace veravo::cli {

namespace {

using Invoke = std::function<CallResult(TZPEdit&, const std::string&)>;

struct Entry {
  MethodInfo info;
  Invoke invoke;
};

std::string Str(const AnsiString& s) { return s.str(); }

// Adapters from the component's member function shapes to one call form.
Entry StrOfText(const char* name, AnsiString (TZPEdit::*f)(const AnsiString&)) {
  return {{name, ArgKind::Text},
          [f](TZPEdit& e, const std::string& a) -> CallResult { return Str((e.*f)(a)); }};
}
Entry VoidOfText(const char* name, void (TZPEdit::*f)(const AnsiString&)) {
  return {{name, ArgKind::Text}, [f](TZPEdit& e, const std::string& a) -> CallResult {
            (e.*f)(a);
            return NoResult{};
          }};
}
Entry StrOfNone(const char* name, AnsiString (TZPEdit::*f)()) {
  return {{name, ArgKind::None}, [f](TZPEdit& e, const std::string&) -> CallResult { return Str((e.*f)()); }};
}
Entry VoidOfNone(const char* name, void (TZPEdit::*f)()) {
  return {{name, ArgKind::None}, [f](TZPEdit& e, const std::string&) -> CallResult {
            (e.*f)();
            return NoResult{};
          }};
}
Entry BoolOfNone(const char* name, bool (TZPEdit::*f)()) {
  return {{name, ArgKind::None}, [f](TZPEdit& e, const std::string&) -> CallResult { return (e.*f)(); }};
}
Entry IntGetter(const char* name, int (TZPEdit::*f)() const) {
  return {{name, ArgKind::None},
          [f](TZPEdit& e, const std::string&) -> CallResult { return static_cast<long long>((e.*f)()); }};
}
Entry IntSetter(const char* name, void (TZPEdit::*f)(int)) {
  return {{name, ArgKind::Int}, [f](TZPEdit& e, const std::string& a) -> CallResult {
            int value = 0;
            auto [end, ec] = std::from_chars(a.data(), a.data() + a.size(), value);
            if (ec != std::errc() || end != a.data() + a.size()) {
              throw std::invalid_argument("'" + a + "' is not a decimal number");
            }
            (e.*f)(value);
            return NoResult{};
          }};
}

const std::vector<Entry>& Table() {
  static const std::vector<Entry> table = {
      BoolOfNone("CreatePort", &TZPEdit::CreatePort),
      BoolOfNone("CreatNewPort", &TZPEdit::CreatNewPort),
      BoolOfNone("CreateSBQPort", &TZPEdit::CreateSBQPort),
      VoidOfNone("ClosePort", &TZPEdit::ClosePort),
      {{"GetProtName", ArgKind::None},
       [](TZPEdit& e, const std::string&) -> CallResult { return Str(e.GetProtName()); }},
      VoidOfText("SetProtName", &TZPEdit::SetProtName),
      IntGetter("GetBaudRate", &TZPEdit::GetBaudRate),
      IntSetter("SetBaudRate", &TZPEdit::SetBaudRate),
      IntGetter("GetSleepTiem", &TZPEdit::GetSleepTiem),
      IntSetter("SetSleepTiem", &TZPEdit::SetSleepTiem),
      IntGetter("GetMsgType", &TZPEdit::GetMsgType),
      IntSetter("SetMsgType", &TZPEdit::SetMsgType),
      VoidOfText("SendHex", &TZPEdit::SendHex),
      VoidOfText("SendChar", &TZPEdit::SendChar),
      StrOfNone("GetData", &TZPEdit::GetData),
      StrOfText("WriteData", &TZPEdit::WriteData),
      StrOfText("XorByte", &TZPEdit::XorByte),
      StrOfText("XorChar", &TZPEdit::XorChar),
      {{"GetCRC16", ArgKind::Text},
       [](TZPEdit& e, const std::string& a) -> CallResult {
         return static_cast<long long>(
             e.GetCRC16(reinterpret_cast<const unsigned char*>(a.data()), static_cast<unsigned>(a.size())));
       }},
      StrOfText("GetCRC", &TZPEdit::GetCRC),
      StrOfText("StrToHex", &TZPEdit::StrToHex),
      VoidOfText("PringWriteData", &TZPEdit::PringWriteData),
      VoidOfText("DidplayWriteData", &TZPEdit::DidplayWriteData),
      VoidOfNone("OpenDoor", &TZPEdit::OpenDoor),
      VoidOfText("SBPring", &TZPEdit::SBPring),
      StrOfText("SBQWriteData", &TZPEdit::SBQWriteData),
      StrOfNone("CCSBQGetData", &TZPEdit::CCSBQGetData),
      VoidOfText("NewSBQWriteData", &TZPEdit::NewSBQWriteData),
      StrOfNone("SBQGetData", &TZPEdit::SBQGetData),
      StrOfNone("NewSBQGetData", &TZPEdit::NewSBQGetData),
      VoidOfNone("CCReady", &TZPEdit::CCReady),
      VoidOfText("SendHDGData", &TZPEdit::SendHDGData),
      StrOfNone("HDGGetData", &TZPEdit::HDGGetData),
      StrOfText("HDGWriteData", &TZPEdit::HDGWriteData),
      StrOfNone("GetPJD", &TZPEdit::GetPJD),
      VoidOfText("SetParm", &TZPEdit::SetParm),
      VoidOfText("DZShow", &TZPEdit::DZShow),
      VoidOfText("NewDZShow", &TZPEdit::NewDZShow),
      StrOfText("HYWriteCheck", &TZPEdit::HYWriteCheck),
      StrOfNone("HYReadData", &TZPEdit::HYReadData),
      VoidOfText("MyTest22", &TZPEdit::MyTest22),
      StrOfText("SendAnyHex", &TZPEdit::SendAnyHex),
      VoidOfText("SendAnyChar", &TZPEdit::SendAnyChar),
      StrOfNone("AnyHexRead", &TZPEdit::AnyHexRead),
      StrOfNone("GetLlsj", &TZPEdit::GetLlsj),
      StrOfNone("UPSRead", &TZPEdit::UPSRead),
      VoidOfText("CRTPort", &TZPEdit::CRTPort),
      StrOfNone("CRTRead", &TZPEdit::CRTRead),
      StrOfText("SendATCommand", &TZPEdit::SendATCommand),
      VoidOfText("SendATNR", &TZPEdit::SendATNR),
      StrOfNone("GetATCom", &TZPEdit::GetATCom),
  };
  return table;
}

const Entry* FindEntry(const std::string& name) {
  for (const Entry& e : Table()) {
    if (e.info.name == name) return &e;
  }
  return nullptr;
}

}  // namespace

const std::vector<MethodInfo>& Methods() {
  static const std::vector<MethodInfo> methods = [] {
    std::vector<MethodInfo> m;
    for (const Entry& e : Table()) m.push_back(e.info);
    return m;
  }();
  return methods;
}

const MethodInfo* FindMethod(const std::string& name) {
  const Entry* e = FindEntry(name);
  return e ? &e->info : nullptr;
}

std::string MethodNames() {
  std::string names;
  for (const MethodInfo& m : Methods()) {
    if (!names.empty()) names += ", ";
    names += m.name;
  }
  return names;
}

CallResult CallMethod(TZPEdit& edit, const std::string& name, const std::optional<std::string>& arg) {
  const Entry* e = FindEntry(name);
  if (!e) throw std::invalid_argument("unknown method " + name);
  if (e->info.arg == ArgKind::None && arg) throw std::invalid_argument(name + " takes no argument");
  if (e->info.arg == ArgKind::Int && !arg) throw std::invalid_argument(name + " needs a number");
  // A text method called without an argument gets the empty text.
  return e->invoke(edit, arg.value_or(std::string()));
}

}  // namespace veravo::cli
