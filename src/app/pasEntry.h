#pragma once
// The entry sequence: single instance, windows, InitMain, message loop.
int RunQuillmarsh(int argc, char** argv);
