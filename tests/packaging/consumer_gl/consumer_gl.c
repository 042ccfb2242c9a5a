/* A C program that makes a GL context of its own (GLX, a window never shown) and loads the
 * !!VSP1.0 text given as its argument under id 7 with the installed parse library. */
#include <GL/glx.h>
#include <shaderparse/shaderparse.h>
#include <stdio.h>

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(NULL);
    int attributes[] = {GLX_RGBA, None};
    XVisualInfo* visual;
    Window root, window;
    XSetWindowAttributes settings = {0};
    GLXContext context;
    char** messages;
    int count = 0;
    if (display == NULL) return 3;
    visual = glXChooseVisual(display, DefaultScreen(display), attributes);
    if (visual == NULL) return 4;
    root = RootWindow(display, visual->screen);
    settings.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    window = XCreateWindow(display, root, 0, 0, 16, 16, 0, visual->depth, InputOutput,
                           visual->visual, CWColormap, &settings);
    context = glXCreateContext(display, visual, NULL, True);
    if (context == NULL || !glXMakeCurrent(display, window, context)) return 5;
    if (argc != 2) return 2;
    shaderparse(argv[1], 7);
    messages = shaderparse_write_errors(stdout);
    while (messages[count] != NULL) ++count;
    printf("%d messages\n", count);
    return 0;
}
