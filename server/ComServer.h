// The server object: one per loaded module. It counts the objects and the
// class-factory references that keep the module loaded, owns the module's
// type library, and names the server for ProgIDs and registry entries.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "Platform.h"

namespace tellavo::server {

class TComServer {
public:
  // The module path is asked for when it is needed (type-library load,
  // registration, server name), not when the server is made.
  using ModulePathSource = std::function<std::u16string()>;

  explicit TComServer(ModulePathSource modulePath);
  // Destroys the factories of this server and releases the type library.
  ~TComServer();
  // Gives up the factories and the type library without releasing anything
  // they hold, so that destroying the server afterwards calls into no other
  // library. For the end of the process, when those libraries may be gone.
  void Abandon();
  TComServer(const TComServer&) = delete;
  TComServer& operator=(const TComServer&) = delete;

  // The type library's name once it is loaded, else the module's file name
  // without directory and extension.
  std::u16string ServerName() const;
  std::u16string ServerFileName() const { return modulePath_(); }
  // No help file ships with the server.
  std::u16string HelpFileName() const { return {}; }

  // Loads the module's type library on first use (EOleSysError when that
  // fails) and keeps it until the server goes.
  ITypeLib* TypeLib();
  bool HasTypeLib() const { return typeLib_.load() != nullptr; }

  // Count an object made (true) or released (false); answer the new count.
  LONG CountObject(bool created);
  // Count a class-factory reference added (true) or released (false).
  LONG CountFactory(bool created);
  LONG ObjectCount() const { return objectCount_.load(); }
  LONG FactoryCount() const { return factoryCount_.load(); }

private:
  ModulePathSource modulePath_;
  std::atomic<LONG> objectCount_{0};
  std::atomic<LONG> factoryCount_{0};
  std::atomic<ITypeLib*> typeLib_{nullptr};
};

// Set while the module unloads: objects released from then on no longer
// touch the server's object count.
bool IsUninitializing();
void SetUninitializing(bool uninitializing);

// The file name of a path without its directory and extension; both slashes
// separate directories.
std::u16string_view BaseNameWithoutExtension(std::u16string_view path);
// The directory of a path including its trailing separator; empty if none.
std::u16string_view DirectoryOf(std::u16string_view path);

} // namespace tellavo::server
