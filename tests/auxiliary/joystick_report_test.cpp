#include "auxiliary/joystick_report.h"

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "support/main_window_fixture.h"

namespace tesmuro {
namespace {

JoyCaps Pad() {
  JoyCaps c;
  c.Mid = 65535;  // never negative
  c.Pid = 40000;
  c.Pname = "Virtual Pad";
  c.Xmax = c.Ymax = 65535;
  c.Zmin = 0xFFFFFFFFu;  // a 32-bit value shows signed
  c.Zmax = 10;
  c.Rmax = 255;
  c.Umax = 1;
  c.Vmin = 2;
  c.Vmax = 3;
  c.NumButtons = 4;
  c.MaxButtons = 32;
  c.PeriodMin = 10;
  c.PeriodMax = 1000;
  c.MaxAxes = 6;
  c.NumAxes = 2;
  c.RegKey = "DINPUT.DLL";
  c.OEMVxD = "";
  return c;
}

TEST(JoystickReport, TextByteForByte) {
  EXPECT_EQ(FormatJoystickReport(Pad(), 1),
            "摇杆1\r\n"
            "摇杆驱动程序名:Virtual Pad\n"
            "厂商编号,产品编号:65535,40000\n"
            "最小,最大X轴:0,65535\n"
            "最小,最大Y轴:0,65535\n"
            "最小,最大Z轴:-1,10\n"
            "最小,最大第4轴:0,255\n"
            "最小,最大第5轴:0,1\n"
            "最小,最大第6轴:2,3\n"
            "最大，当前按钮数量:32,4\n"
            "最小,最大采样率:10,1000\n"
            "摇杆最大,当前轴数:6,2\n"
            "注册键名:DINPUT.DLL\n"
            "OEM名:\n");
}

class JoystickReportMenu : public test::MainWindowFixture {};

TEST_F(JoystickReportMenu, CommandsShowTheReportEvenWhenTheQueryFails) {
  dir.Write("Quorlin.qlset", FormatSettings(ConstructionSettings()));
  TFrmMain w(Services());

  joys.caps = Pad();
  w.MnuJoyStickClick(1);
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].caption, "摇杆信息1");
  EXPECT_EQ(view.boxes[0].style, kMbOk | kMbIconInformation);
  EXPECT_NE(view.boxes[0].text.find("Virtual Pad"), std::string::npos);

  joys.capsResult = 167;  // no controller 2: whatever the record held is not shown
  w.MnuJoyStickClick(2);
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[1].caption, "摇杆信息2");
  EXPECT_EQ(view.boxes[1].text.rfind("摇杆2\r\n摇杆驱动程序名:\n厂商编号,产品编号:0,0\n", 0), 0u);
  EXPECT_EQ(view.boxes[1].text.find("Virtual Pad"), std::string::npos);
}

}  // namespace
}  // namespace tesmuro
