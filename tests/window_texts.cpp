// Prints the text of every child window of each top-level window whose title is the one given,
// one a line: an end-to-end test reads what a dialog of the console shows without reading
// pixels. Wine keeps window texts in its server, so another process's texts can be read.
// Usage: window_texts.exe TITLE   (exit status 1 when no such window is found)
#include <windows.h>

#include <cstdio>
#include <cstring>

static BOOL CALLBACK PrintChildText(HWND child, LPARAM)
{
    char text[256];
    if (GetWindowTextA(child, text, sizeof text) > 0)
        printf("%s\n", text);
    return TRUE;
}

struct Search
{
    const char* title;
    int found;
};

static BOOL CALLBACK PrintIfTitled(HWND window, LPARAM parameter)
{
    Search* search = (Search*)parameter;
    char title[256];
    if (GetWindowTextA(window, title, sizeof title) > 0 && strcmp(title, search->title) == 0)
    {
        ++search->found;
        EnumChildWindows(window, PrintChildText, 0);
    }
    return TRUE;
}

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: window_texts TITLE\n");
        return 2;
    }
    Search search = {argv[1], 0};
    EnumWindows(PrintIfTitled, (LPARAM)&search);
    return search.found ? 0 : 1;
}
