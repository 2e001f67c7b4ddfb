// Words of the console's command texts.
#include "services/command_words.h"

static char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

int StartsWithWord(const char* text, const char* word, const char** rest)
{
    for (; *word; ++word, ++text)
        if (UpperAscii(*text) != *word)
            return 0;
    *rest = text;
    return 1;
}
