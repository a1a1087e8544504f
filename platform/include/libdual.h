// The dual-board library (closed): redundancy status of this board and the
// other one, and file copies between them.
#ifndef LIBDUAL_H
#define LIBDUAL_H

extern "C" {
// Result words: bit 0x40000000 set = Active.
unsigned long dual_get_initActive(int arg1, unsigned long arg2);
unsigned long dual_get_Active(char* arg1, char* arg2, char* arg3);
// Fills the own and the other board's status words; below 0 = not read.
int dual_get_status(unsigned long* own, unsigned long* other);
// Fetches path from the other board (flags 0x4000 synchronous, 0x4001
// asynchronous, 0 plain); below 0 = not copied.
int dual_request_copyFile(char* path, int flags);
// Copies path to the other board; -1 = failed.
int dual_copyFile(char* path, int flags);
}

#endif
