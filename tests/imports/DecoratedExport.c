/* Exports a stdcall function under its decorated name; the check must refuse it. */
__declspec(dllexport) int __stdcall DecoratedExport(int value) { return value + 1; }
