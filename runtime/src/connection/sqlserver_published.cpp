// The published properties of the connection component, in published order.

#include "framework/property_builders.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"

namespace tessel {

namespace {

const TTypeInfo* NetLibraryType() {
  static const TTypeInfo t = [] {
    TTypeInfo type;
    type.name = "TNetLibrary";
    type.kind = tkEnumeration;
    type.names = {"nlConfigured", "nlNamedPipes", "nlMultiProtocol", "nlIPX", "nlTCPIP"};
    type.max_value = 4;
    return type;
  }();
  return &t;
}

const TTypeInfo* LoginEventType() {
  static const TTypeInfo t = [] {
    TTypeInfo type;
    type.name = "TLoginEvent";
    type.kind = tkMethod;
    return type;
  }();
  return &t;
}

}  // namespace

template <>
const TClassInfo* ClassInfoOf<TSQLServer>() {
  using S = TSQLServer;
  static const TClassInfo info(
      std::type_identity<S>(), "TSQLServer", ClassInfoOf<TComponent>(),
      {
          published::String<S>("ApplicationName", &S::ApplicationName, &S::SetApplicationName),
          published::String<S>("ServerName", &S::ServerName, &S::SetServerName),
          published::String<S>("DataBaseName", &S::DataBaseName, &S::SetDataBaseName),
          published::String<S>("Username", &S::Username, &S::SetUsername),
          published::String<S>("Password", &S::Password, &S::SetPassword),
          published::Ordinal<S>("KeepConnections", TypeInfoBoolean(), &S::KeepConnections,
                                &S::SetKeepConnections, 0),
          published::Ordinal<S>("Connected", TypeInfoBoolean(), &S::Connected, &S::SetConnected, 0),
          published::Ordinal<S>("OEMConvert", TypeInfoBoolean(), &S::OEMConvert, &S::SetOEMConvert,
                                0),
          published::Ordinal<S>("NetLibrary", NetLibraryType(), &S::NetLibrary, &S::SetNetLibrary,
                                nlConfigured),
          published::Ordinal<S>("ServerTimeout", TypeInfoInteger(), &S::ServerTimeout,
                                &S::SetServerTimeout, 30),
          published::Ordinal<S>("TrustedLogin", TypeInfoBoolean(), &S::TrustedLogin,
                                &S::SetTrustedLogin, 0),
          published::Event<S>("OnLogin", LoginEventType(), &S::OnLogin, &S::SetOnLogin),
      },
      [](TComponent* owner) { return new S(owner); });
  return &info;
}

void RegisterTesselClasses() {
  RegisterClasses({ClassInfoOf<TSQLServer>(), ClassInfoOf<TTessel>(), ClassInfoOf<TSQLUpdate>()});
}

}  // namespace tessel
