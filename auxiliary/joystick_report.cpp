#include "auxiliary/joystick_report.h"

#include "util/text.h"

namespace tesmuro {
namespace {

std::string S(uint32_t v) { return ToDec(static_cast<int32_t>(v)); }
std::string Pair(uint32_t a, uint32_t b) { return S(a) + "," + S(b); }

}  // namespace

std::string FormatJoystickReport(const JoyCaps& c, int controller) {
  std::string t = controller == 2 ? "摇杆2" : "摇杆1";
  t += "\r\n";
  t += "摇杆驱动程序名:" + c.Pname + "\n";
  t += "厂商编号,产品编号:" + ToDecU(c.Mid) + "," + ToDecU(c.Pid) + "\n";
  t += "最小,最大X轴:" + Pair(c.Xmin, c.Xmax) + "\n";
  t += "最小,最大Y轴:" + Pair(c.Ymin, c.Ymax) + "\n";
  t += "最小,最大Z轴:" + Pair(c.Zmin, c.Zmax) + "\n";
  t += "最小,最大第4轴:" + Pair(c.Rmin, c.Rmax) + "\n";
  t += "最小,最大第5轴:" + Pair(c.Umin, c.Umax) + "\n";
  t += "最小,最大第6轴:" + Pair(c.Vmin, c.Vmax) + "\n";
  t += "最大，当前按钮数量:" + Pair(c.MaxButtons, c.NumButtons) + "\n";
  t += "最小,最大采样率:" + Pair(c.PeriodMin, c.PeriodMax) + "\n";
  t += "摇杆最大,当前轴数:" + Pair(c.MaxAxes, c.NumAxes) + "\n";
  t += "注册键名:" + c.RegKey + "\n";
  t += "OEM名:" + c.OEMVxD + "\n";
  return t;
}

JoystickReport BuildJoystickReport(IJoystickService& joysticks, int controller) {
  JoyCaps caps;
  if (joysticks.GetDevCaps(controller == 2 ? 1u : 0u, caps) != 0) caps = JoyCaps{};
  return {FormatJoystickReport(caps, controller), controller == 2 ? "摇杆信息2" : "摇杆信息1"};
}

}  // namespace tesmuro
