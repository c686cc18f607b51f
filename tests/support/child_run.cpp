// Runs one test case again in a child process with its own environment.
#include "support/child_run.h"

#include "platform/glib_owners.h"

#include <glib.h>
#include <boost/dll/runtime_symbol_info.hpp>

#include <cstdlib>
#include <memory>
#include <vector>

namespace testsupport {

namespace {
const char roleVariable[] = "VELMORA_TEST_CHILD_ROLE";
}

ChildResult runTestInChild(const std::string &testName, const std::string &role,
                           const std::map<std::string, std::string> &environment) {
  gchar **childEnvironment = g_get_environ();
  for (const auto &variable : environment) {
    if (variable.second.empty())
      childEnvironment = g_environ_unsetenv(childEnvironment, variable.first.c_str());
    else
      childEnvironment =
          g_environ_setenv(childEnvironment, variable.first.c_str(), variable.second.c_str(), TRUE);
  }
  childEnvironment = g_environ_setenv(childEnvironment, roleVariable, role.c_str(), TRUE);
  UniqueStrv ownedEnviron(childEnvironment);

  ChildResult result;
  boost::system::error_code locationError;
  std::string self = boost::dll::program_location(locationError).string();
  if (locationError) return result;
  std::string filter = "--gtest_filter=" + testName;
  std::vector<gchar *> argv = {const_cast<gchar *>(self.c_str()), const_cast<gchar *>(filter.c_str()),
                               nullptr};
  gchar *output = nullptr;
  gchar *errors = nullptr;
  gint waitStatus = 0;
  GError *error = nullptr;
  if (!g_spawn_sync(nullptr, argv.data(), childEnvironment, G_SPAWN_DEFAULT, nullptr, nullptr, &output,
                    &errors, &waitStatus, &error)) {
    result.output = error->message;
    g_error_free(error);
    return result;
  }
  result.output = std::string(output != nullptr ? output : "") + (errors != nullptr ? errors : "");
  g_free(output);
  g_free(errors);
  // An exit code other than 0 comes back as an error of the exit domain.
  GError *exitError = nullptr;
  if (g_spawn_check_wait_status(waitStatus, &exitError)) {
    result.exitStatus = 0;
  } else {
    if (exitError->domain == G_SPAWN_EXIT_ERROR) result.exitStatus = exitError->code;
    g_error_free(exitError);
  }
  return result;
}

std::string childRunRole() {
  const char *role = std::getenv(roleVariable);
  return role != nullptr ? role : "";
}

}  // namespace testsupport
