#pragma once
// Non-visual component that tells what machine and operating system the
// program runs on. Nothing is cached: every read asks the platform again.
#include "framework/Component.h"
#include "framework/Exception.h"
#include "framework/Types.h"
#include "sysinfo/SysInfoPlatform.h"

// Raised when the operating system's version record cannot be read.
class EKvSysInfo : public Exception {
 public:
  using Exception::Exception;
};

class TKvSysInfo : public TComponent {
 public:
  // Throws Exception when the owner already holds a TKvSysInfo; the owner's
  // list of components is then left as it was. Without an owner nothing is
  // checked.
  TKvSysInfo(TComponent* owner, ISysInfoPlatform& platform);
  AnsiText ClassName() const override { return "TKvSysInfo"; }

  // Empty when the platform call fails.
  AnsiText ComputerName() const;
  AnsiText UserName() const;
  // Without trailing backslashes.
  AnsiText SystemDirectory() const;

  // Both throw EKvSysInfo when the version record cannot be read.
  AnsiText OSProductName() const;
  AnsiText OSDescription() const;

 protected:
  // A derived class names itself and tells its own instances apart, so that
  // one of it per owner is allowed beside a plain TKvSysInfo.
  using InstanceTest = bool (*)(const TComponent*);
  TKvSysInfo(TComponent* owner, ISysInfoPlatform& platform, const char* className, InstanceTest isInstance);

  template <class T>
  static bool IsInstanceOf(const TComponent* c) {
    return dynamic_cast<const T*>(c) != nullptr;
  }

 private:
  enum class TProduct {
    UnknownNT,
    NT,
    Win2000,
    XP,
    Unknown9x,
    Win95,
    Win98,
    WinMe,
    Win32s,
    Server2003,
  };

  struct TVersionInfo {
    TOSVersionInfoExA record;
    bool extended;  // the platform accepted the 156-byte form
  };

  static TComponent* OnlyOneOn(TComponent* owner, const char* className, InstanceTest isInstance);
  static const char* ProductName(TProduct product);
  static TProduct ClassifyProduct(const TOSVersionInfoExA& v);

  TVersionInfo ReadVersionInfo() const;
  AnsiText EditionText(const TVersionInfo& info) const;
  AnsiText ServicePackText(const TOSVersionInfoExA& v) const;
  AnsiText ProductTypeFromRegistry() const;
  bool KeyExists(const char* path) const;

  ISysInfoPlatform& platform_;
};
