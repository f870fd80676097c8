#pragma once

#include <functional>
#include <memory>

class AppRoutes;

namespace AppEntry {

// Makes the routes once the application object exists.
using RoutesFactory = std::function<std::unique_ptr<AppRoutes>()>;

// Parses the command line, keeps one instance running, and runs the launch
// sequence and the event loop. Returns the process exit code.
int run(int argc, char *argv[], const RoutesFactory &makeRoutes);

} // namespace AppEntry
