// A stand-in shell for VRC_GetShieldIcon: SHGetStockIconInfo answers as the
// test sets it, and only to the request for the small shield icon.
#include <windows.h>

namespace {
HRESULT answer = S_OK;
}

struct StockIconInfo {
    DWORD cbSize;
    HICON hIcon;
    int iSysImageIndex;
    int iIcon;
    WCHAR szPath[MAX_PATH];
};

extern "C" __declspec(dllexport) void SetStockIconAnswer(HRESULT result) { answer = result; }

extern "C" __declspec(dllexport) HRESULT WINAPI SHGetStockIconInfo(int id, UINT flags, StockIconInfo* info)
{
    if (info == nullptr || info->cbSize != 544 || id != 77 || flags != 0x101)
        return E_INVALIDARG;
    if (answer == S_OK)
        info->hIcon = reinterpret_cast<HICON>(static_cast<INT_PTR>(0x5151));
    return answer;
}
