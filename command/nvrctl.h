// The nvram command's entry: option parsing and the argument checks.
#ifndef NVRCTL_H
#define NVRCTL_H

struct NVRCmd;

// A new command record from the command line (the last option wins); never null.
NVRCmd* parseCmdLine(int argc, char** argv);
// n when it is an HCP (or boot ROM bank) number 0 or 1; else prints
// "Invalid parameter specified." and gives -1.
int checkHCPNo(int n);
// n when it is an NVRAM partition number 0..3; else as checkHCPNo.
int checkNVRAMPartNo(int n);

#endif
