#include "support/posix_registry.h"

#include <stdlib.h>

#include <filesystem>

const char kGameKey[] = "HKEY_LOCAL_MACHINE/Software/WOW6432Node/Ormica/Quenlith";

RegistryStore::RegistryStore() { setenv("QUENLITH_POSIX_REGISTRY", root_.path().c_str(), 1); }

RegistryStore::~RegistryStore() { unsetenv("QUENLITH_POSIX_REGISTRY"); }

void RegistryStore::CreateKey(const std::string& keyPath) {
  std::filesystem::create_directories(root_.Path(keyPath));
}

void RegistryStore::SetValue(const std::string& keyPath, const std::string& name,
                             const std::string& typeName, const Bytes& bytes) {
  CreateKey(keyPath);
  WriteBytes(root_.Path(keyPath + "/" + name + "." + typeName), bytes);
}

Bytes Terminated(const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}
