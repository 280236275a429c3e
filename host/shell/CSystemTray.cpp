#include "CSystemTray.h"

CSystemTray::~CSystemTray() = default;
