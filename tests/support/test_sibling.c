/* Stand-ins for the sibling library "orlenmap.dll" that exercise the
 * lookup's failure paths: built once without the export and once with an
 * export that fails with a code of its own. */
#ifdef SIBLING_FAILS
int GetEngnMapCurrentEngineLocation(const char* clientDirectory, unsigned int reserved, char* destination,
                                    unsigned int capacity, unsigned int* error) {
    (void)clientDirectory;
    (void)reserved;
    (void)destination;
    (void)capacity;
    *error = 4242u;
    return 0;
}
#else
int OtherEngnMapFunction(void) { return 1; }
#endif
