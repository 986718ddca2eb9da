// Prints what the system-information component reports on this machine.
#include <cstdio>
#include <functional>
#include <utility>

#include "sysinfo/KvSysInfo.h"
#include "tools/sysinfo_tool/HostPlatform.h"

int main() {
  TComponent form(nullptr);
  form.SetName("Form1");
  auto* info = new TKvSysInfo(&form, HostSysInfoPlatform());
  info->SetName("info");

  const std::pair<const char*, std::function<AnsiText()>> properties[] = {
      {"ComputerName", [info] { return info->ComputerName(); }},
      {"UserName", [info] { return info->UserName(); }},
      {"OSProductName", [info] { return info->OSProductName(); }},
      {"OSDescription", [info] { return info->OSDescription(); }},
      {"SystemDirectory", [info] { return info->SystemDirectory(); }},
  };
  int status = 0;
  for (const auto& [label, read] : properties) {
    try {
      std::printf("%s: %s\n", label, ForTerminal(read()).c_str());
    } catch (const EKvSysInfo& e) {
      std::printf("%s: <%s>\n", label, ForTerminal(e.Message()).c_str());
      status = 1;
    }
  }
  return status;
}
