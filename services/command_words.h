// Words of the console's command texts (the command line's switches, the control port's
// commands): ASCII letters compared in either case, whatever the system's locale.
#pragma once

// 1 when text begins with word (given in upper case), ASCII letters in either case; *rest is
// then what follows it.
int StartsWithWord(const char* text, const char* word, const char** rest);
