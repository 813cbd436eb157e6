// Writes values into the POSIX layer's registry store, a folder tree that the
// layer reads from $QUENLITH_POSIX_REGISTRY (see platform/posix/registry.cpp).
#pragma once

#include <string>

#include "support/test_files.h"

// A fresh store in a scratch folder, named by QUENLITH_POSIX_REGISTRY while
// the object lives.
class RegistryStore {
 public:
  RegistryStore();
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  // Stores a value under keyPath, a store path such as
  // "HKEY_LOCAL_MACHINE/Software/WOW6432Node/Ormica/Quenlith". typeName is
  // the file suffix ("REG_SZ", ...); bytes are the data exactly as queried.
  void SetValue(const std::string& keyPath, const std::string& name, const std::string& typeName,
                const Bytes& bytes);
  // Creates the key's folder with no values.
  void CreateKey(const std::string& keyPath);

 private:
  TempDir root_;
};

// The store path of the game's key as a 32-bit program sees it.
extern const char kGameKey[];

// text followed by its terminating NUL.
Bytes Terminated(const std::string& text);
