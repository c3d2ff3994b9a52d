#pragma once

// The optional second log sink: message text only, to wherever a developer
// watching the running helper looks (the debugger output on Windows, standard
// error on Linux). Each platform folder provides it.

#include <boost/log/sinks/basic_sink_frontend.hpp>
#include <boost/shared_ptr.hpp>

namespace obx {

boost::shared_ptr<boost::log::sinks::basic_sink_frontend> makeDebuggerLogSink();

} // namespace obx
