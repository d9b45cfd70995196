// Laying settings onto the device and reading settings texts, on a port
// opened on a virtual line.
#include <gtest/gtest.h>
#include <veravo/sim/virtual_line.h>

#include "support/hook_port.h"

namespace veravo {
namespace {

TEST(Settings, ApplyingAndParsing) {
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
  EXPECT_EQ(
      port.ApplySettings({.Baud = 4800, .Parity = 'x', .DataBits = 9, .StopBits = 3, .Dtr = 0, .XonXoff = 1}),
      result::IllegalStopBits);
  const win::DCB& d = port.DeviceState;
  EXPECT_EQ(d.Parity + d.fParity, 0);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.StopBits, win::ONESTOPBIT);
  EXPECT_EQ(d.fOutX + d.fInX, 2u);
  EXPECT_EQ(line->core().HostFormat().baud, 4800u);
  EXPECT_FALSE(line->device().Dtr());
  EXPECT_TRUE(line->device().Rts());
  EXPECT_EQ(port.ApplySettings({.Parity = 'Q', .DataBits = 4}), result::IllegalWordLength);
  EXPECT_EQ(port.ApplySettings({.Parity = 'Q', .DataBits = 7}), result::IllegalParity);
  EXPECT_EQ(port.ApplySettings({.Parity = 'e', .StopBits = 2}), 0);
  EXPECT_EQ(line->core().HostFormat().Text(), "4800,E,7,2");
  EXPECT_EQ(d.fParity, 1u);  // parity errors are reported

  // Switching a handshake off leaves its control line as it was.
  ASSERT_EQ(port.ApplySettings({.RtsCts = 1, .DtrDsr = 1}), 0);
  EXPECT_EQ(d.fOutxCtsFlow + d.fOutxDsrFlow, 2u);
  ASSERT_EQ(port.ApplySettings({.Dtr = PortSettings::Keep, .Rts = PortSettings::Keep}), 0);
  EXPECT_EQ(d.fOutxCtsFlow + d.fOutxDsrFlow, 0u);
  EXPECT_EQ(d.fRtsControl, win::RTS_CONTROL_HANDSHAKE);
  EXPECT_EQ(d.fDtrControl, win::DTR_CONTROL_HANDSHAKE);

  // Parsing matches the parity letter exactly.
  PortSettings s;
  port.ParseSettingsText(s, "9600,n,8,1");
  EXPECT_EQ(s.Parity, 'S');
  port.ParseSettingsText(s, "19200,M,7,1.5");
  EXPECT_EQ(std::make_tuple(s.Baud, s.Parity, s.DataBits, s.StopBits), std::make_tuple(19200, 'M', 7, 2));
  EXPECT_EQ(std::make_tuple(s.Dtr, s.Rts, s.XonXoff, s.RtsCts, s.DtrDsr), std::make_tuple(1, 1, 0, 0, 0));
  port.ParseSettingsText(s, "9600,E,8,1,p");
  EXPECT_EQ(s.RtsCts + s.DtrDsr, 2);
  port.ParseSettingsText(s, "baud=2400 parity=N data=8 stop=1 dtr=off xon=on");  // no comma: first letter
  EXPECT_EQ(std::make_tuple(s.Baud, s.Parity, s.Dtr, s.XonXoff), std::make_tuple(2400, 'S', 0, 1));
}

}  // namespace
}  // namespace veravo
