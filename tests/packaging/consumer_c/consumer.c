/* A C program built against the installed parse library with pkg-config. Without a GL context
 * every text stops before the list is cleared, so the messages of both calls add up. */
#include <shaderparse/shaderparse.h>
#include <stdio.h>

int main(void) {
    char** messages;
    int count = 0;
    shaderparse(NULL);
    shaderparse("!!RC1.0\nout.rgb = tex0;\n");
    messages = shaderparse_write_errors(stdout);
    if (messages != shaderparse_error_messages()) return 3;
    while (messages[count] != NULL) ++count;
    printf("%d messages\n", count);
    return 0;
}
