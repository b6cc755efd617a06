/* The smallest program or library that carries a version resource. */
#ifdef SAMPLE_DLL
__declspec(dllexport) int sample_value(void)
{
    return 7;
}
#else
int main(void)
{
    return 0;
}
#endif
