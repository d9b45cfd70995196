#include <veravo/sim/device_end.h>

namespace veravo::sim {

std::vector<win::BYTE> DeviceEnd::ReadBytes() {
  std::vector<win::BYTE> out;
  for (const RxRecord& r : Read()) out.push_back(r.value);
  return out;
}

}  // namespace veravo::sim
