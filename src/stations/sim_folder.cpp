#include "stations/sim_folder.h"

#include "platform/registry.h"

std::string g_SimFolder = "C:\\Programs\\Microsoft Games\\FS2002\\";

int ReadSimulatorFolder() {
  std::string exePath;
  if (!RegistryReadString(RegistryRoot::LocalMachine, kSimRegistryKey, kSimRegistryValue, 256, exePath)) return 13;
  g_SimFolder = exePath + "\\";
  return 0;
}
