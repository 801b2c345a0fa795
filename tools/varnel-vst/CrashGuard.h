#pragma once

#include <functional>
#include <string>

namespace varnelvst::tool {

// Runs `work` and turns what it throws into one error line and an exit status:
// a ToolError's own, 1 for anything else. What main does with every command.
int runReportingErrors(const std::function<int()>& work);

// Runs `work` in a child process and returns its exit status, so that a plug-in
// that crashes the render ends it with one line, "<who> crashed (SIGSEGV) while
// <doing>; <consequence>", and exit status 1, never a bare signal death. The
// child prints a ToolError from `work` as main would. Call it before any plug-in
// is loaded: the child is a copy of this process. The child ends when this
// process does, removing its temporary files as a signal lets it.
int runGuarded(const std::function<int()>& work, const std::string& who, const std::string& doing,
               const std::string& consequence);

} // namespace varnelvst::tool
