// FormatMessageA for system error codes, and LocalFree for the buffers it hands out.
// The texts are worded as Windows words them, each ending in "\r\n" as Windows' do, in
// English and Japanese (UTF-8, the program's 8-bit code page).
#include "platform/Win32.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 15100;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x2000;

struct SystemText {
    DWORD code;
    const char* english;
    const char* japanese;
};

// The codes the program and this layer can meet.
constexpr SystemText kTexts[] = {
    {0, "The operation completed successfully.", "この操作を正しく終了しました。"},
    {1, "Incorrect function.", "ファンクションが間違っています。"},
    {2, "The system cannot find the file specified.", "指定されたファイルが見つかりません。"},
    {3, "The system cannot find the path specified.", "指定されたパスが見つかりません。"},
    {4, "The system cannot open the file.", "ファイルを開くことができません。"},
    {5, "Access is denied.", "アクセスが拒否されました。"},
    {6, "The handle is invalid.", "ハンドルが無効です。"},
    {8, "Not enough memory resources are available to process this command.",
     "このコマンドを実行するのに十分な記憶域がありません。"},
    {13, "The data is invalid.", "データが無効です。"},
    {15, "The system cannot find the drive specified.", "指定されたドライブが見つかりません。"},
    {17, "The system cannot move the file to a different disk drive.",
     "システムはファイルを別のディスク ドライブに移動できません。"},
    {18, "There are no more files.", "これ以上ファイルはありません。"},
    {19, "The media is write protected.", "メディアは書き込み禁止になっています。"},
    {21, "The device is not ready.", "デバイスの準備ができていません。"},
    {23, "Data error (cyclic redundancy check).", "データ エラー (巡回冗長検査 (CRC) エラー) です。"},
    {27, "The drive cannot find the sector requested.",
     "ドライブは要求されたセクターを見つけることができません。"},
    {29, "The system cannot write to the specified device.", "指定されたデバイスに書き込めません。"},
    {30, "The system cannot read from the specified device.", "指定されたデバイスから読み取れません。"},
    {31, "A device attached to the system is not functioning.",
     "システムに接続されたデバイスが機能していません。"},
    {32, "The process cannot access the file because it is being used by another process.",
     "プロセスはファイルにアクセスできません。別のプロセスが使用中です。"},
    {38, "Reached the end of the file.", "ファイルの終わりに到達しました。"},
    {50, "The request is not supported.", "要求はサポートされていません。"},
    {80, "The file exists.", "ファイルが存在します。"},
    {87, "The parameter is incorrect.", "パラメーターが間違っています。"},
    {112, "There is not enough space on the disk.", "ディスクに十分な空き領域がありません。"},
    {122, "The data area passed to a system call is too small.",
     "システム コールに渡されるデータ領域が小さすぎます。"},
    {123, "The filename, directory name, or volume label syntax is incorrect.",
     "ファイル名、ディレクトリ名、またはボリューム ラベルの構文が間違っています。"},
    {126, "The specified module could not be found.", "指定されたモジュールが見つかりません。"},
    {127, "The specified procedure could not be found.", "指定されたプロシージャが見つかりません。"},
    {145, "The directory is not empty.", "ディレクトリが空ではありません。"},
    {183, "Cannot create a file when that file already exists.",
     "既に存在するファイルを作成することはできません。"},
    {193, "%1 is not a valid Win32 application.", "%1 は有効な Win32 アプリケーションではありません。"},
    {206, "The filename or extension is too long.", "ファイル名または拡張子が長すぎます。"},
    {234, "More data is available.", "データがさらにあります。"},
    {259, "No more data is available.", "データはこれ以上ありません。"},
    {267, "The directory name is invalid.", "ディレクトリ名が無効です。"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.",
     "メッセージ番号 0x%1 のメッセージ テキストが %2 のメッセージ ファイル内に見つかりません。"},
    {1005,
     "The volume does not contain a recognized file system.\r\nPlease make sure that all required file system "
     "drivers are loaded and that the volume is not corrupted.",
     "ボリュームには認識可能なファイル システムがありません。\r\n必要なファイル システム ドライバーがすべて読み込まれて"
     "いるか、ボリュームが壊れていないか確認してください。"},
    {1067, "The process terminated unexpectedly.", "プロセスが予期せずに終了しました。"},
    {1110, "The media in the drive may have changed.", "ドライブのメディアが変更された可能性があります。"},
    {1117, "The request could not be performed because of an I/O device error.",
     "I/O デバイス エラーが発生したため、要求を実行できませんでした。"},
    {1223, "The operation was canceled by the user.", "この操作はユーザーによって取り消されました。"},
    {1235, "The request was aborted.", "要求は中止されました。"},
    {1603, "Fatal error during installation.", "インストール中に致命的なエラーが発生しました。"},
    {1814, "The specified resource name cannot be found in the image file.",
     "指定されたリソース名がイメージ ファイルに見つかりません。"},
};

const SystemText* FindText(DWORD code)
{
    for (const SystemText& text : kTexts)
        if (text.code == code)
            return &text;
    return nullptr;
}

enum class Language { English, Japanese, Unknown };

Language LanguageOf(DWORD languageId)
{
    // 0 (neutral) and the user/system defaults follow the user's language.
    if (languageId == 0 || languageId == 0x400 || languageId == 0x800)
        languageId = GetUserDefaultUILanguage();
    switch (languageId & 0x3FF) {  // the primary language, whatever the sublanguage
    case 0x09: return Language::English;
    case 0x11: return Language::Japanese;
    default: return Language::Unknown;
    }
}

// Replaces %1..%99 with the string arguments; "%%" is a percent sign. False when the text
// needs an argument that was not given.
bool FillInserts(const std::string& pattern, va_list* arguments, bool argumentArray, std::string& out)
{
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 >= pattern.size()) {
            out += pattern[i];
            continue;
        }
        char next = pattern[i + 1];
        if (next == '%') {
            out += '%';
            ++i;
            continue;
        }
        if (next < '1' || next > '9') {
            out += pattern[i];
            continue;
        }
        int index = next - '0';
        ++i;
        if (i + 1 < pattern.size() && pattern[i + 1] >= '0' && pattern[i + 1] <= '9')
            index = index * 10 + (pattern[++i] - '0');
        if (!arguments)
            return false;
        const char* value = nullptr;
        if (argumentArray) {
            value = reinterpret_cast<const char* const*>(arguments)[index - 1];
        } else {
            va_list walk;
            va_copy(walk, *arguments);
            for (int n = 1; n <= index; ++n)
                value = va_arg(walk, const char*);
            va_end(walk);
        }
        out += value ? value : "";
    }
    return true;
}

}  // namespace

DWORD FormatMessageA(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments)
{
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || !lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Language language = LanguageOf(dwLanguageId);
    if (language == Language::Unknown) {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return 0;
    }
    const SystemText* text = FindText(dwMessageId);
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }

    std::string pattern = language == Language::Japanese ? text->japanese : text->english;
    pattern += "\r\n";
    std::string message;
    if (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) {
        message = pattern;
    } else if (!FillInserts(pattern, Arguments, dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY, message)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }

    const size_t needed = message.size() + 1;
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        // nSize is the least number of bytes to allocate.
        char* buffer = static_cast<char*>(std::malloc(needed > nSize ? needed : nSize));
        if (!buffer) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(buffer, message.c_str(), needed);
        *reinterpret_cast<char**>(lpBuffer) = buffer;
    } else {
        if (needed > nSize) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(lpBuffer, message.c_str(), needed);
    }
    return static_cast<DWORD>(message.size());
}

HLOCAL LocalFree(HLOCAL hMem)
{
    std::free(hMem);
    return nullptr;
}
