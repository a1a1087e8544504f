// The board's message catalogue (closed library).
#ifndef LMSG_H
#define LMSG_H

extern "C" {
// Writes into out (at most 256 bytes with the NUL) the catalogue text of
// messageNo formatted with the arguments that follow: two texts, or a text
// and an integer.
int lmsg_getmsg(int messageNo, char* out, ...);
}

#endif
