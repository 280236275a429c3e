#pragma once
// The class objects a local server offers to other processes while it runs:
// registered with COM on start-up, revoked (on the same thread) when the
// object goes out of scope or revokeAll() is called.
#include "ClassFactory.h"

#include <span>
#include <vector>

class ClassObjectRegistration {
public:
  ClassObjectRegistration() = default;
  ~ClassObjectRegistration();
  ClassObjectRegistration(const ClassObjectRegistration&) = delete;
  ClassObjectRegistration& operator=(const ClassObjectRegistration&) = delete;

  // Registers one class object per entry; on the first failure the ones
  // already registered are revoked and the failure is returned.
  HRESULT registerAll(std::span<const ClassEntry> classes, DWORD context = CLSCTX_LOCAL_SERVER,
                      DWORD flags = REGCLS_MULTIPLEUSE) noexcept;
  void revokeAll() noexcept;
  size_t count() const noexcept { return m_cookies.size(); }

private:
  std::vector<DWORD> m_cookies;
};
