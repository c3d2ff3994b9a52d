#include "platform/DebuggerLogSink.h"

#include <boost/core/null_deleter.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/make_shared.hpp>
#include <iostream>

namespace obx {

boost::shared_ptr<boost::log::sinks::basic_sink_frontend> makeDebuggerLogSink() {
    using Backend = boost::log::sinks::text_ostream_backend;
    auto backend = boost::make_shared<Backend>();
    backend->add_stream(boost::shared_ptr<std::ostream>(&std::cerr, boost::null_deleter()));
    backend->auto_flush(true);
    auto sink = boost::make_shared<boost::log::sinks::synchronous_sink<Backend>>(backend);
    sink->set_formatter(boost::log::expressions::stream << boost::log::expressions::smessage);
    return sink;
}

} // namespace obx
