/* Stand-ins for the sibling library "orlenmap.dll": built once without the
 * export and once with an export that fails with a code of its own. */
#ifdef SIBLING_FAILS
int GetEngnMapCurrentEngineLocation(const char* client, unsigned int reserved, char* out, unsigned int cap,
                                    unsigned int* error) {
    (void)client, (void)reserved, (void)out, (void)cap;
    *error = 4242u;
    return 0;
}
#else
int OtherEngnMapFunction(void) { return 1; }
#endif
