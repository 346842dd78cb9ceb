// A second start, as the program makes it, with its message box recorded instead of shown.
// Prints "acquired" or "refused:" and the box's text, and exits 0 either way.
#include "Application.h"
#include "MessageBoxes.h"
#include "Startup.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    app::Application app(argc, argv);
    boxes::BoxRecorder boxes;
    app::SingleInstanceGuard guard;
    if (app::refuseSecondInstance(guard)) {
        const auto shown = boxes.takeShown();
        std::printf("refused:%s|%s\n", qUtf8Printable(shown.value(0).caption), qUtf8Printable(shown.value(0).text));
    } else {
        std::printf("acquired\n");
    }
    return 0;
}
