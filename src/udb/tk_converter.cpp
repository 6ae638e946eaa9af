#include "udb/tk_converter.h"

#include "tk/tk_trace.h"

void tk_converter::set_logfile(const std::string& name) {
    TK_TRACE(2, "tk_convertor::set_logfile(%s)", name.c_str());
    if (name.empty()) {
        TK_TRACE(1, "Filename is empty");
        return;
    }
    if (tk_log* log = tk_log::try_instance())
        log->set_logfile(name);
    logfile_ = name;
}
