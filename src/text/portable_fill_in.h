// The insertions of kavo's message texts, for bytes (code page 932 and ANSI
// texts: '%' is never the second byte of a character in either) and for UTF-16
// units alike. No windows.h here.
#pragma once

#include <stddef.h>

// Copies format into destination (size units), each %s, %d, %ld or %lu
// replaced by the next of insertions, in order (a NULL or missing one by
// nothing); "%%" is one percent sign, and any other percent sign stands as it
// is. The destination is always terminated when size > 0. 1 when the whole
// text fit, 0 when it was cut.
template <typename Unit>
int FillInText(Unit* destination, size_t size, const Unit* format, const Unit* const* insertions, int count)
{
    static const Unit kNothing[1] = {0};
    if (size == 0)
        return 0;
    size_t used = 0;
    int next = 0;
    for (const Unit* at = format; *at; ++at) {
        const Unit* piece = at;
        size_t length = 1;
        if (*at == '%' && at[1] == '%') {
            ++at;
        } else if (*at == '%' && (at[1] == 's' || at[1] == 'd' || (at[1] == 'l' && (at[2] == 'u' || at[2] == 'd')))) {
            at += at[1] == 'l' ? 2 : 1;
            piece = next < count && insertions[next] ? insertions[next] : kNothing;
            ++next;
            for (length = 0; piece[length]; ++length) {
            }
        }
        for (size_t i = 0; i < length; ++i) {
            if (used + 1 >= size) {
                destination[used] = 0;
                return 0;
            }
            destination[used++] = piece[i];
        }
    }
    destination[used] = 0;
    return 1;
}
