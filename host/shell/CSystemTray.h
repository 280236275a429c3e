#pragma once
// The main window's icon in the notification area. The main window owns
// one once a page asks for it and deletes it, removing the icon, when the
// window is destroyed. The icon's own operations are added with the tray
// support; for now the object is only owned and deleted.
class CSystemTray {
public:
  CSystemTray() = default;
  virtual ~CSystemTray();
  CSystemTray(const CSystemTray&) = delete;
  CSystemTray& operator=(const CSystemTray&) = delete;
};
