#include "server_main.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "options.h"
#include "sqld/tds/listener.h"
#include "sqld/tds/tls_context.h"
#include "storage.h"

namespace tessel::sqld::app {

int serverMain(int argc, char** argv, const EngineFactory& makeEngine) {
  Options options;
  std::string error = parseOptions(argc, argv, std::getenv("TESSEL_SQLD_PASSWORD"), options);
  if (options.help) {
    std::fputs(usage().c_str(), stdout);
    return 0;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "tessel-sqld: %s\nTry 'tessel-sqld --help'.\n", error.c_str());
    return 2;
  }

  // Signals are taken by sigwait below; every thread started later inherits
  // the mask, so none of them is interrupted.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  tds::Credentials credentials;
  if (options.saPassword) credentials.add("sa", *options.saPassword);
  for (const auto& login : options.logins) credentials.add(login.user, login.password);

  // Database files and the directories made for them are the owner's alone.
  ::umask(S_IRWXG | S_IRWXO);
  EngineOptions engineOptions;
  // Every login but sa is a database user of the databases it was given.
  for (const auto& login : options.logins) {
    if (login.user.size() == 2 && (login.user[0] | 0x20) == 's' && (login.user[1] | 0x20) == 'a')
      continue;
    engineOptions.databaseUsers[login.user] = login.databases;
  }
  engineOptions.warning = [](const std::string& text) {
    std::fprintf(stderr, "tessel-sqld: warning: %s\n", text.c_str());
  };
  tds::Log log(options.quiet);
  try {
    // Declared before the engine, so that it is removed after the engine has
    // closed its files.
    std::unique_ptr<ScratchDirectory> scratch;
    if (options.dataDirectory) {
      for (const auto& warning : prepareDataDirectory(*options.dataDirectory))
        std::fprintf(stderr, "tessel-sqld: warning: %s\n", warning.c_str());
      engineOptions.dataDirectory = options.dataDirectory;
    } else {
      // In-memory databases still need files (for WAL and for sharing between
      // connections): a directory in shared memory, left behind only by a
      // server that was killed, and then removed by the next one.
      const std::string base = scratchBase();
      for (const auto& path : removeStaleScratch(base))
        log.write("removed " + path + ", left by a server that is gone");
      scratch = std::make_unique<ScratchDirectory>(base);
      engineOptions.dataDirectory = scratch->path();
    }
    std::unique_ptr<Engine> engine = makeEngine(engineOptions);
    tds::ListenerOptions listenerOptions;
    listenerOptions.port = options.port;
    listenerOptions.session.serverName = engineOptions.serverName;
    listenerOptions.session.idleTimeoutSeconds = options.idleTimeoutSeconds;
    listenerOptions.session.encrypt = *tds::parseEncryptMode(options.encrypt);
    if (options.tlsCert) {
      listenerOptions.session.tls = tds::TlsContext::fromFiles(*options.tlsCert, *options.tlsKey);
    } else {
      listenerOptions.session.tls = tds::TlsContext::selfSigned();
      std::fprintf(stderr, "tessel-sqld: self-signed certificate for localhost, SHA-256 %s\n",
                   listenerOptions.session.tls->fingerprint().c_str());
    }
    tds::Listener listener(*engine, credentials, listenerOptions, log);
    std::uint16_t port = listener.start();
    std::printf("tessel-sqld listening on 127.0.0.1:%u\n", port);
    std::fflush(stdout);
    log.write("listening on 127.0.0.1:" + std::to_string(port));
    int received = 0;
    sigwait(&signals, &received);
    log.write(std::string("stopping on ") + (received == SIGINT ? "SIGINT" : "SIGTERM"));
    listener.stop();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tessel-sqld: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace tessel::sqld::app
