#include "net/proxy_settings.h"

#include "common/text.h"
#include "settings/app_settings.h"
#include "settings/password_scramble.h"

namespace tessellink {

THttpProxy ProxyFromSettings(const TXMLProxyType& settings) {
  THttpProxy proxy;
  if (settings.Manualsetting()) {
    proxy.mode = TProxyMode::Manual;
    proxy.host = std::string(Trim(settings.Servername()));
    proxy.port = std::string(Trim(settings.Port()));
    proxy.user = settings.Username();
    proxy.password = Unscramble(settings.Password());
  }
  if (settings.Settingasie()) {
    proxy.mode = TProxyMode::System;
    proxy.host.clear();
    proxy.port.clear();
  }
  return proxy;
}

}  // namespace tessellink
