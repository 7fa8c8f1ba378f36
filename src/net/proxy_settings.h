#pragma once
// The proxy of the "Proxy" settings section, for the requests that honour it
// (synchronisation and sharing; the link checker uses none).

#include "net/http_client.h"

namespace tessellink {

class TXMLProxyType;

// Manualsetting: the stored host, port, user and password. Settingasie: the
// system proxy (from the environment) in place of host and port, the manual
// credentials kept when Manualsetting is set too. Neither: no proxy.
THttpProxy ProxyFromSettings(const TXMLProxyType& proxy);

}  // namespace tessellink
