// Runs one test case again in a child process with its own environment.
#include "support/child_run.h"

#include "platform/glib_owners.h"

#include <glib.h>

#include <sys/wait.h>
#include <cstdlib>
#include <memory>
#include <vector>

namespace testsupport {

namespace {
const char roleVariable[] = "VELMORA_TEST_CHILD_ROLE";
}

ChildResult runTestInChild(const std::string &testName, const std::string &role,
                           const std::map<std::string, std::string> &environment) {
  gchar **environ = g_get_environ();
  for (const auto &variable : environment) {
    if (variable.second.empty())
      environ = g_environ_unsetenv(environ, variable.first.c_str());
    else
      environ = g_environ_setenv(environ, variable.first.c_str(), variable.second.c_str(), TRUE);
  }
  environ = g_environ_setenv(environ, roleVariable, role.c_str(), TRUE);
  UniqueStrv ownedEnviron(environ);

  ChildResult result;
  gchar *self = g_file_read_link("/proc/self/exe", nullptr);
  if (self == nullptr) return result;
  UniqueString ownedSelf(self);
  std::string filter = "--gtest_filter=" + testName;
  std::vector<gchar *> argv = {self, const_cast<gchar *>(filter.c_str()), nullptr};
  gchar *output = nullptr;
  gchar *errors = nullptr;
  gint waitStatus = 0;
  GError *error = nullptr;
  if (!g_spawn_sync(nullptr, argv.data(), environ, G_SPAWN_DEFAULT, nullptr, nullptr, &output, &errors,
                    &waitStatus, &error)) {
    result.output = error->message;
    g_error_free(error);
    return result;
  }
  result.output = std::string(output != nullptr ? output : "") + (errors != nullptr ? errors : "");
  g_free(output);
  g_free(errors);
  if (WIFEXITED(waitStatus)) result.exitStatus = WEXITSTATUS(waitStatus);
  return result;
}

std::string childRunRole() {
  const char *role = std::getenv(roleVariable);
  return role != nullptr ? role : "";
}

}  // namespace testsupport
