// A shared library without the component's entry point, for the loader's error.
extern "C" int quill_noentry_marker()
{
    return 1;
}
