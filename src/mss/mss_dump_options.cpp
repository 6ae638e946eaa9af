#include "mss/mss_dump_options.h"

#include "tk/tk_trace.h"

mss_dump_options::mss_dump_options() {
    TK_TRACE(2, "mss_dump_options::ctor1");
}
