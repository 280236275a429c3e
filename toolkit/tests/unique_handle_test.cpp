#include "CriticalSection.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

namespace {

// Whether a kernel handle still refers to an open object.
bool isOpen(HANDLE h) {
  DWORD flags = 0;
  return ::GetHandleInformation(h, &flags) != FALSE;
}

TEST(UniqueHandle, ClosesOnScopeExitAndReset) {
  HANDLE raw = nullptr;
  {
    KernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    raw = event.get();
    EXPECT_TRUE(isOpen(raw));
  }
  EXPECT_FALSE(isOpen(raw));

  KernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  raw = event.get();
  event.reset();
  EXPECT_FALSE(event);
  EXPECT_FALSE(isOpen(raw));
}

TEST(UniqueHandle, MoveTransfersOwnershipOnce) {
  KernelHandle a(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE raw = a.get();
  KernelHandle b(std::move(a));
  EXPECT_FALSE(a);
  EXPECT_EQ(b.get(), raw);
  KernelHandle c;
  c = std::move(b);
  EXPECT_TRUE(isOpen(raw));
  HANDLE released = c.release();
  EXPECT_FALSE(c);
  EXPECT_TRUE(isOpen(released));
  ::CloseHandle(released);
}

TEST(UniqueHandle, InvalidHandleValueIsNotOwned) {
  KernelHandle file(::CreateFileW(L"Z:\\no\\such\\dir\\file.txt", GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(file);  // and its destructor must not close INVALID_HANDLE_VALUE
}

TEST(UniqueHandle, RegistryKeyPutAndClose) {
  RegKey key;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  EXPECT_TRUE(key);
  DWORD subkeys = 0;
  EXPECT_EQ(::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
}

TEST(CriticalSectionLock, EarlyUnlockLetsOtherThreadsIn) {
  struct Shared {
    CriticalSection cs;
    bool entered = false;
  } shared;
  CriticalSectionLock lock(shared.cs);
  lock.unlock();
  KernelHandle thread(::CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* s = static_cast<Shared*>(p);
        CriticalSectionLock inner(s->cs);
        s->entered = true;
        return 0;
      },
      &shared, 0, nullptr));
  ASSERT_TRUE(thread);
  EXPECT_EQ(::WaitForSingleObject(thread.get(), 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(shared.entered);
}

}  // namespace
