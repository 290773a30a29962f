/* Preloaded into the end-to-end runs of the address build: libraries that SDL2
 * and Mesa load at run time stay mapped until exit, so the leak report at exit
 * can still name the library a block was allocated in (an unloaded one shows
 * as "<unknown module>", which no suppression can match). */
int dlclose(void* handle) {
    (void)handle;
    return 0;
}
