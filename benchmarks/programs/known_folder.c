/* The second floor: starts, asks Windows for the roaming application-data folder the way
 * corvel does before it reads config.json (shell32 and ole32 loaded on demand), and exits.
 * Under Wine, loading shell32 brings in user32 and gdi32 and costs more than a process start. */
#include <windows.h>
#include <shlobj.h>

typedef HRESULT(WINAPI *GetKnownFolderPathFunction)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR *);
typedef void(WINAPI *TaskMemFreeFunction)(LPVOID);

int main(void) {
    HMODULE shell32 = LoadLibraryExW(L"shell32.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    HMODULE ole32 = LoadLibraryExW(L"ole32.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (shell32 == NULL || ole32 == NULL) {
        return 1;
    }
    GetKnownFolderPathFunction get_known_folder_path = (GetKnownFolderPathFunction)(void (*)(void))
        GetProcAddress(shell32, "SHGetKnownFolderPath");
    TaskMemFreeFunction task_mem_free =
        (TaskMemFreeFunction)(void (*)(void))GetProcAddress(ole32, "CoTaskMemFree");
    if (get_known_folder_path == NULL || task_mem_free == NULL) {
        return 1;
    }
    PWSTR path = NULL;
    HRESULT result = get_known_folder_path(&FOLDERID_RoamingAppData, 0, NULL, &path);
    task_mem_free(path);
    return SUCCEEDED(result) ? 0 : 1;
}
