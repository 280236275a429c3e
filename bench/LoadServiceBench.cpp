#include "LoadServiceBench.h"

#include "Bstr.h"
#include "CFrameworkController.h"
#include "ComApartment.h"
#include "ComPtr.h"
#include "ServiceClasses.h"
#include "Stopwatch.h"

#include <cstdio>

bool LoadServiceBench::run() {
  ComApartment apartment;
  if (!apartment.ok()) return false;
  CFrameworkController::Ptr controller;
  if (FAILED(CFrameworkController::create(controller))) return false;

  // A real service object of the host, added at run time under a name.
  ComPtr<IFrameworkPlugin> service;
  const ClassEntry& config = ServiceClasses::entries()[0];
  if (FAILED(config.create(nullptr, IID_IFrameworkPlugin, service.putVoid()))) return false;
  const Bstr name(L"BenchService");
  const Bstr value(L"");
  controller->AddService(name.get(), value.get(), service.get());

  ComPtr<IFrameworkPlugin> loaded;
  controller->LoadService(name.get(), loaded.put());
  if (loaded.get() != service.get()) {
    std::printf("LoadService of a loaded service: FAILED\n");
    return false;
  }
  const double ns = Stopwatch::nsPerOp([&] {
    ComPtr<IFrameworkPlugin> again;
    controller->LoadService(name.get(), again.put());
  });
  std::printf("LoadService of a loaded service: %.0f ns per call (goal <= 1000 ns)\n", ns);

  controller->destroy();
  return true;
}
