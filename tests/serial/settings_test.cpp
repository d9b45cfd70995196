// Laying settings onto the device and reading settings texts, on a port
// opened on a virtual line.
#include <gtest/gtest.h>
#include <veravo/sim/virtual_line.h>

#include "support/hook_port.h"
#include "support/wait.h"

namespace veravo {
namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    line_ = sim::VirtualLine::create(::testing::UnitTest::GetInstance()->current_test_info()->name());
    port_ = std::make_unique<test::HookPort>(line_->name().c_str(), "9600,N,8,1");
    ASSERT_EQ(port_->Status, 0);
  }
  std::shared_ptr<sim::VirtualLine> line_;
  std::unique_ptr<test::HookPort> port_;
};

TEST_F(Settings, BadFieldsAreSkippedTheLastReportedAndTheRestWritten) {
  PortSettings s;
  s.Baud = 4800;
  s.Parity = 'x';
  s.DataBits = 9;
  s.StopBits = 3;
  s.Dtr = 0;
  s.XonXoff = 1;
  EXPECT_EQ(port_->ApplySettings(s), result::IllegalStopBits);
  const win::DCB& d = port_->DeviceState;
  EXPECT_EQ(d.Parity + d.fParity, 0);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.StopBits, win::ONESTOPBIT);
  EXPECT_EQ(d.fOutX + d.fInX, 2u);
  EXPECT_EQ(line_->core().HostFormat().baud, 4800u);
  EXPECT_FALSE(line_->device().Dtr());
  EXPECT_TRUE(line_->device().Rts());

  s = PortSettings();
  s.Parity = 'Q';
  s.DataBits = 4;
  EXPECT_EQ(port_->ApplySettings(s), result::IllegalWordLength);
  s.DataBits = 7;
  EXPECT_EQ(port_->ApplySettings(s), result::IllegalParity);
  s.Parity = 'e';
  s.StopBits = 2;
  EXPECT_EQ(port_->ApplySettings(s), 0);
  EXPECT_EQ(line_->core().HostFormat().Text(), "4800,E,7,2");
}

TEST_F(Settings, SwitchingAHandshakeOffLeavesItsControlLineAsItWas) {
  PortSettings s;
  s.RtsCts = 1;
  s.DtrDsr = 1;
  ASSERT_EQ(port_->ApplySettings(s), 0);
  EXPECT_EQ(port_->DeviceState.fOutxCtsFlow + port_->DeviceState.fOutxDsrFlow, 2u);
  s.Rts = s.Dtr = PortSettings::Keep;
  s.RtsCts = s.DtrDsr = 0;
  ASSERT_EQ(port_->ApplySettings(s), 0);
  EXPECT_EQ(port_->DeviceState.fOutxCtsFlow + port_->DeviceState.fOutxDsrFlow, 0u);
  EXPECT_EQ(port_->DeviceState.fRtsControl, win::RTS_CONTROL_HANDSHAKE);
  EXPECT_EQ(port_->DeviceState.fDtrControl, win::DTR_CONTROL_HANDSHAKE);
}

TEST_F(Settings, ParsingMatchesTheParityLetterExactly) {
  PortSettings s;
  port_->ParseSettingsText(s, "9600,n,8,1");
  EXPECT_EQ(s.Parity, 'S');
  port_->ParseSettingsText(s, "19200,M,7,1.5");
  EXPECT_EQ(std::make_tuple(s.Baud, s.Parity, s.DataBits, s.StopBits), std::make_tuple(19200, 'M', 7, 2));
  EXPECT_EQ(std::make_tuple(s.Dtr, s.Rts, s.XonXoff, s.RtsCts, s.DtrDsr), std::make_tuple(1, 1, 0, 0, 0));
  port_->ParseSettingsText(s, "9600,E,8,1,p");
  EXPECT_EQ(s.RtsCts + s.DtrDsr, 2);
  port_->ParseSettingsText(s, "baud=2400 parity=N data=8 stop=1 dtr=off xon=on");  // no comma: first letter
  EXPECT_EQ(std::make_tuple(s.Baud, s.Parity, s.Dtr, s.XonXoff), std::make_tuple(2400, 'S', 0, 1));
  port_->ParseSettingsText(s, "not a setting");
  port_->ParseSettingsText(s, nullptr);
  EXPECT_EQ(s.Baud, 2400);
}

TEST_F(Settings, ReconfigureKeepsTheLastAcceptedTextAndUnblocks) {
  port_->Reconfigure("9600,M,8,1");
  port_->Reconfigure("9600,S,8,1");
  port_->Reconfigure("rubbish");
  EXPECT_EQ(port_->Status, 0);
  EXPECT_EQ(line_->core().HostFormat().Text(), "9600,S,8,1");
  EXPECT_TRUE(line_->device().Dtr() && line_->device().Rts());
  port_->Status = result::IllegalStopBits;
  EXPECT_EQ(port_->Reconfigure(nullptr), 0);
  EXPECT_EQ(port_->Status, 0);
}

TEST(PortOpen, DefaultsAndVirtualLineFailures) {
  auto line = sim::VirtualLine::create("vl-defaults");
  SerialPort port("vl-defaults", "fast please");
  ASSERT_EQ(port.Status, 0);
  EXPECT_EQ(line->core().HostFormat().Text(), "9600,N,8,1");
  EXPECT_EQ(SerialPort("vl-defaults", nullptr).Status, result::PortInUse);
  EXPECT_EQ(SerialPort("sim:no-such-device", nullptr).Status, result::PortNotFound);
}

}  // namespace
}  // namespace veravo
