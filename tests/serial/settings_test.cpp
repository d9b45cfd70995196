// Laying settings onto the device and reading settings texts, on a port
// opened on a virtual line.
#include <gtest/gtest.h>
#include <veravo/sim/virtual_line.h>

#include "support/hook_port.h"

namespace veravo {
namespace {

TEST(Settings, ApplyingParsingAndReconfiguring) {
  auto line = sim::VirtualLine::create("vl-settings");
  test::HookPort port("vl-settings", "9600,N,8,1");
  ASSERT_EQ(port.Status, 0);
  EXPECT_EQ(SerialPort("vl-settings", nullptr).Status, result::PortInUse);
  EXPECT_EQ(SerialPort("sim:no-such-device", nullptr).Status, result::PortNotFound);
  // A settings text the builder cannot read opens the port at the defaults.
  auto other = sim::VirtualLine::create("vl-defaults");
  SerialPort defaults("vl-defaults", "fast please");
  EXPECT_EQ(defaults.Status, 0);
  EXPECT_EQ(other->core().HostFormat().Text(), "9600,N,8,1");

  // Bad fields are skipped, the last one reported, and the rest written.
  PortSettings s;
  s.Baud = 4800;
  s.Parity = 'x';
  s.DataBits = 9;
  s.StopBits = 3;
  s.Dtr = 0;
  s.XonXoff = 1;
  EXPECT_EQ(port.ApplySettings(s), result::IllegalStopBits);
  const win::DCB& d = port.DeviceState;
  EXPECT_EQ(d.Parity + d.fParity, 0);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.StopBits, win::ONESTOPBIT);
  EXPECT_EQ(d.fOutX + d.fInX, 2u);
  EXPECT_EQ(line->core().HostFormat().baud, 4800u);
  EXPECT_FALSE(line->device().Dtr());
  EXPECT_TRUE(line->device().Rts());
  s = PortSettings();
  s.Parity = 'Q';
  s.DataBits = 4;
  EXPECT_EQ(port.ApplySettings(s), result::IllegalWordLength);
  s.DataBits = 7;
  EXPECT_EQ(port.ApplySettings(s), result::IllegalParity);
  s.Parity = 'e';
  s.StopBits = 2;
  EXPECT_EQ(port.ApplySettings(s), 0);
  EXPECT_EQ(line->core().HostFormat().Text(), "4800,E,7,2");

  // Switching a handshake off leaves its control line as it was.
  s = PortSettings();
  s.RtsCts = s.DtrDsr = 1;
  ASSERT_EQ(port.ApplySettings(s), 0);
  EXPECT_EQ(d.fOutxCtsFlow + d.fOutxDsrFlow, 2u);
  s.Rts = s.Dtr = PortSettings::Keep;
  s.RtsCts = s.DtrDsr = 0;
  ASSERT_EQ(port.ApplySettings(s), 0);
  EXPECT_EQ(d.fOutxCtsFlow + d.fOutxDsrFlow, 0u);
  EXPECT_EQ(d.fRtsControl, win::RTS_CONTROL_HANDSHAKE);
  EXPECT_EQ(d.fDtrControl, win::DTR_CONTROL_HANDSHAKE);

  // Parsing matches the parity letter exactly.
  port.ParseSettingsText(s, "9600,n,8,1");
  EXPECT_EQ(s.Parity, 'S');
  port.ParseSettingsText(s, "19200,M,7,1.5");
  EXPECT_EQ(std::make_tuple(s.Baud, s.Parity, s.DataBits, s.StopBits), std::make_tuple(19200, 'M', 7, 2));
  EXPECT_EQ(std::make_tuple(s.Dtr, s.Rts, s.XonXoff, s.RtsCts, s.DtrDsr), std::make_tuple(1, 1, 0, 0, 0));
  port.ParseSettingsText(s, "9600,E,8,1,p");
  EXPECT_EQ(s.RtsCts + s.DtrDsr, 2);
  port.ParseSettingsText(s, "baud=2400 parity=N data=8 stop=1 dtr=off xon=on");  // no comma: first letter
  EXPECT_EQ(std::make_tuple(s.Baud, s.Parity, s.Dtr, s.XonXoff), std::make_tuple(2400, 'S', 0, 1));
  port.ParseSettingsText(s, "not a setting");
  port.ParseSettingsText(s, nullptr);
  EXPECT_EQ(s.Baud, 2400);

  // Reconfigure keeps the last accepted text and unblocks the port.
  port.Reconfigure("9600,M,8,1");
  port.Reconfigure("9600,S,8,1");
  port.Reconfigure("rubbish");
  EXPECT_EQ(port.Status, 0);
  EXPECT_EQ(line->core().HostFormat().Text(), "9600,S,8,1");
  EXPECT_TRUE(line->device().Dtr() && line->device().Rts());
  port.Status = result::IllegalStopBits;
  EXPECT_EQ(port.Reconfigure(nullptr), 0);
  EXPECT_EQ(port.Status, 0);
}

}  // namespace
}  // namespace veravo
