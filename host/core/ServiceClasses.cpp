#include "ServiceClasses.h"

#include "CConfig.h"
#include "CLogger.h"
#include "ComCreator.h"
#include "FrameworkLib.h"

std::span<const ClassEntry> ServiceClasses::entries() noexcept {
  static const ClassEntry classes[] = {
      {&CLSID_Config, &ComCreator<CConfig>::createInstance},
      {&CLSID_Logger, &ComCreator<CLogger>::createInstance},
  };
  return classes;
}
