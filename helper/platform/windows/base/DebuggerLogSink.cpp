#include "platform/DebuggerLogSink.h"

#include <boost/log/expressions.hpp>
#include <boost/log/sinks/debug_output_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/make_shared.hpp>

namespace obx {

boost::shared_ptr<boost::log::sinks::basic_sink_frontend> makeDebuggerLogSink() {
    // The wide backend (OutputDebugStringW): messages are UTF-8, which the
    // narrow call would pass through the ANSI code page.
    using Backend = boost::log::sinks::wdebug_output_backend;
    auto sink = boost::make_shared<boost::log::sinks::synchronous_sink<Backend>>();
    sink->set_formatter(boost::log::expressions::format(L"%1%\r\n") % boost::log::expressions::smessage);
    return sink;
}

} // namespace obx
