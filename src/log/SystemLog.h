#pragma once

// Where the logger mirrors each line: syslog(3) with ident "Moxtrel" unless replaced.
// `text` is "[area] scrubbed message"; `priority` a syslog priority (LOG_INFO, ...).
namespace Log {

using SystemSink = void (*)(int priority, const char *text);

// Replaces the sink (tests); nullptr restores syslog.
void setSystemSink(SystemSink sink);

} // namespace Log
