// A Windows program that only waits; copied under the game's executable
// name it stands in for the running game.
#include <windows.h>

int main()
{
    Sleep(10 * 60 * 1000);
    return 0;
}
