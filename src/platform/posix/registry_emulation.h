// Where the per-user registry emulation keeps its keys: a key is a directory.
#pragma once

#include "platform/platform.h"

#include <string>

namespace platform {

// The directory that stands for the key (with backslashes, e.g.
// "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727") under
// $XDG_CONFIG_HOME/velmora-brelantor/registry/<root name>; a program registers
// the key by creating it. Empty for a key path that could leave the registry
// folder: empty components, "." or "..", or a "/" inside a component.
// The environment is read at every call.
std::string registryKeyDirectory(RegistryRoot root, const std::string &keyPath);

}  // namespace platform
