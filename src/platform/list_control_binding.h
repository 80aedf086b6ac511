// The POSIX binding of the five list-control operations to a host's
// MicrotuneListControl callbacks. A null control answers 0, like
// SendMessageA with a null window; a null callback answers -1 where an
// answer is used and does nothing otherwise.
#ifndef MICROTUNE_LIST_CONTROL_BINDING_H
#define MICROTUNE_LIST_CONTROL_BINDING_H

#include "microtune.h"

#ifndef _WIN32
namespace mt {

inline void BoundSetRedraw(MicrotuneListControl *control, int on) {
    if (control && control->set_redraw) control->set_redraw(control->context, on);
}
inline void BoundResetContent(MicrotuneListControl *control) {
    if (control && control->reset_content) control->reset_content(control->context);
}
inline void BoundAddString(MicrotuneListControl *control, const char *text) {
    if (control && control->add_string) control->add_string(control->context, text);
}
inline int BoundSetCurSel(MicrotuneListControl *control, int index) {
    if (!control) return 0;
    return control->set_cur_sel ? control->set_cur_sel(control->context, index) : -1;
}
inline int BoundGetCurSel(MicrotuneListControl *control) {
    if (!control) return 0;
    return control->get_cur_sel ? control->get_cur_sel(control->context) : -1;
}

}  // namespace mt
#endif

#endif
