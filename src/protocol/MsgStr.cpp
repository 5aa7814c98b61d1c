#include "protocol/MsgStr.h"

#include <cstdlib>
#include <iterator>

#include "midi/MidiResult.h"

namespace {

constexpr int kGroupCount = 8;

// Group 0: MidiDevException codes. Codes 0 and 1 stand for the MIDI service's
// own result text and are never shown from here.
const char* const kMidiDevJa[] = {
    "",
    "",
    "バッファ・メモリを確保できません",
    "MIDI入力デバイスをオープンできません",
    "MIDI出力デバイスをオープンできません",
    "MIDI通信タイムアウトエラー",
    "MIDI通信タイムアウトエラー",
};
const char* const kMidiDevEn[] = {
    "",
    "",
    "Can't allocate MIDI buffer",
    "Can't open the MIDI input device",
    "Can't open th MIDI output device",
    "MIDI Timeout",
    "MIDI Timeout.",
};

// Group 1: QnSysExException. Code 4, beyond the original catalog: a size the
// keyboard reported that its memory cannot hold.
const char* const kSysExJa[] = {
    "受信を拒否されました",
    "通信エラーが発生しました",
    "未知のエラーです",
    "",
    "キーボードが報告したサイズがメモリの容量を超えています",
    "キャンセルしました",
};
const char* const kSysExEn[] = {
    "rejected by keyboard",
    "communication error occured",
    "Unknown error",
    "",
    "The keyboard reported a size larger than its memory",
    "Cancelled",
};

// Group 2: QnKbdDrvException.
const char* const kKbdDrvJa[] = {"このキーボードは対応していません", "キーボードが見つかりません"};
const char* const kKbdDrvEn[] = {"Unknown keyboard type", "No keyboard found"};

// Group 3: LqdStreamException. Codes 4 to 6, beyond the original catalog:
// the whole-keyboard backup and restore; code 7: a file replaced whose folder
// could not be put on the disk; codes 8 to 14: a backup read from a .zip;
// code 15: a backup folder with something other than a file in a file's place.
const char* const kStreamJa[] = {
    "このファイルはLQDファイルではありません",
    "異なるタイプのデータは転送できません",
    "空き領域が足りません",
    "指定されたスロットはありません",
    "フォルダにバックアップファイルがありません",
    "空のスロットのバックアップファイルを削除できません",
    "フォルダのバックアップは完了していません",
    "ファイルは置き換えましたが、フォルダを同期できませんでした",
    "ZIPファイルではないか、壊れています",
    "ZIPファイルに圧縮された項目があり、読み込めません",
    "ZIPファイルの項目が互いに重なっています",
    "ZIPファイルが大きすぎます (1000 項目、8 MiB まで)",
    "ZIPファイルに同じ名前の項目が二つあります",
    "ZIPファイルにNUL文字を含む名前か、フォルダの中のフォルダがあります",
    "ZIPファイルの項目数がディレクトリと一致しません",
    "通常のファイルではないため、バックアップ フォルダを読み込めません",
};
const char* const kStreamEn[] = {
    "No LQD file",
    "Data type is different",
    "Not enough memory",
    "No such slot on the keyboard",
    "No backup files in the folder",
    "Can't remove the backup file of an empty slot",
    "The backup in the folder is incomplete",
    "The file was replaced, but its folder could not be synced",
    "The file is not a ZIP archive, or it is damaged",
    "The ZIP archive holds compressed entries, which can't be read",
    "The ZIP archive's entries overlap",
    "The ZIP archive is too large (at most 1000 entries and 8 MiB)",
    "The ZIP archive holds a name twice",
    "The ZIP archive holds a name with a NUL character or a folder inside a folder",
    "The ZIP archive's entry count disagrees with its directory",
    "Not a regular file: the backup folder can't be read",
};

// Group 4: OperateException. In Japanese codes 0 and 1 speak of sending, 2 and
// 3 of receiving.
const char* const kOperateJa[] = {
    "送信元のデータが指定されていません", "送信先のデータが指定されていません",
    "受信元のデータが指定されていません", "受信先のデータが指定されていません",
    "削除するデータが選択されていません", "ここには転送できません",
    "まず一覧を取得して下さい",
};
const char* const kOperateEn[] = {
    "Not select a source data", "Not select a distination data",
    "Not select a source data", "Not select a distination data",
    "Not select a data",        "Not acceptable",
    "Get list first!!",
};

// Group 5: status line while an operation runs. Index 4, beyond the original
// catalog, stays once an import is over; "%1" is the number of slots.
const char* const kStatusJa[] = {
    "一覧の取得中...",
    "データを送信中...",
    "データを受信中...",
    "データを削除中...",
    "空のスロット %1 個はスキップしました",
};
const char* const kStatusEn[] = {
    "Get list...",        "Sending a data...",        "Receiving a data...",
    "Deleting a data...", "Skipped %1 empty slot(s)",
};

// Group 6: type name of a folder in the file views.
const char* const kFolderJa[] = {"ファイル フォルダﾞ"};
const char* const kFolderEn[] = {"Folder"};

// Group 7: the program's own words, in the order of MsgStr::Word.
const char* const kWordJa[] = {
    "キャンセル",
    "キーボードとの作業を中止します (Esc)",
    "(なし)",
    "MIDI入力: %1",
    "MIDI出力: %1",
    " (未接続)",
    "%2 件中 %1 件目",
    "%2 件中 %1 件目 (%3) で失敗しました。",
    "それより前に済んだものはありません。",
    "それより前の %1 件は済んでいます。",
    "検出中...",
    "%1 台のキーボードが応答しました。最初のものを選びました",
    "検出(&D)",
    "すべてのMIDIポートにキーボードを問い合わせ、応答したポートを選びます",
    "キーボードが応答したポート: %1",
    "どのMIDIポートにもキーボードは応答しませんでした。選択中のポートはそのままです",
    "処理中の項目を終えてから中止しました",
    "MIDIポート「%1」が見つかりません",
    "フォルダーを開くプログラムが設定されていません",
    "復元すると、キーボードの %1 個の項目を %2 のバックアップで置き換えます。続けますか?",
    "%1内蔵シミュレータは引き続き使用できます。",
    "%1 件のメッセージ",
    "名前を付けて保存",
    "ログ ファイル (*.log *.txt)",
    "失敗",
    "キーボードへ",
    "キーボードから",
    "時刻 (秒)",
    "方向",
    "長さ",
    "意味",
    "バイト列",
    "MIDIモニタ",
    "MIDIモニタ(&M)",
    "一時停止(&P)",
    "表示を止めます。メッセージは記録し続けます",
    "クリア(&L)",
    "コピー(&C)",
    "選んだメッセージ (選択がなければすべて) をログの形式でコピーします",
    "名前を付けて保存(&S)...",
    "キーボードをバックアップ",
    "キーボードをバックアップ(&B)...",
    "キーボードを復元",
    "キーボードを復元(&R)...",
    "無関係なメッセージ（破棄）",
    "この項目の後で停止します...",
    "キーボードとの処理を実行中です。中止して閉じますか?",
    "キーボード (入力: %1、出力: %2)",
    "%1 (指定されたポート: %2)",
    "スロットにデータがありません",
    "キーボードにスロット %1 はありません",
    "「%1」はスロットのアドレスではありません。%2 の形で指定してください",
    "send にはファイルとアドレスを組にして指定してください",
    "%1 に空の値は指定できません",
    "フォルダを作成できません",
    "空のスロットのバックアップを削除できません",
    "フォルダにバックアップファイル (tone-0.lqd など) がありません",
    "この種類のファイルにはデータ名がありません",
    "データ名を空にすることはできません",
    "データ名「%1」は8文字に切り詰めました: 「%2」",
    "入力 %1 %2: 開けないため問い合わせていません",
    "出力 %1 %2: 開けないため問い合わせていません",
    "設定を使用できません (%1)。%2 を使います",
    "%1: ポート番号 %2 はありません。ポートの一覧は 'ravlin-cli devices' で表示できます",
    "%1: 「%2」を含むポート名はありません。ポートの一覧は 'ravlin-cli devices' で表示できます",
    "%1: 「%2」は複数のポート名に含まれています: %3",
    "コマンドが指定されていません",
    "不明なコマンド「%1」",
    "使い方: %1",
    "詳しくは 'ravlin-cli --help' を参照してください。",
    "出力を書き込めません (%1)",
    "ログ %1 を書き込めません",
    "%1/%2 バイト",
    "プロトコルエラー %1",
    "%1: シミュレータのメモリ %2 を読み込めません",
    "%1: シミュレータのメモリ %2 に書き込めません",
    "一覧の取得/更新",
    "インポート",
    "送信",
    "削除",
    "接続",
    "MIDI入力",
    "MIDI出力",
    "キーボードのメモリ",
    "項目",
    "名前",
    "種類",
    "サイズ",
    "容量 %1 バイト、使用 %2 バイト、空き %3 バイト",
    "進行状況",
    "ブラウザがMIDI機器へのアクセスを拒否しました。サイトの設定で許可してから、もう一度「接続」をク"
    "リックしてください。",
    "MIDIポートは別のプログラムが使用中です。そのプログラムを閉じてから、もう一度お試しください。",
    "このブラウザはWeb "
    "MIDIに対応していないため、キーボードとは通信できません。内蔵シミュレータは使用できます。",
    "プロパティ",
    "プロパティ",
    "種類:",
    "サイズ:",
    "名前:",
    "%1 バイト",
    "OK",
    "Firefoxではサイト許可アドオンを入れるまでMIDIを使えないため、「接続」をクリックしてFirefoxが示"
    "すアドオンを許可し、ページを再読み込みしてからもう一度「接続」をクリックしてください。",
    "ファイル(&F)",
    "表示(&V)",
    "環境設定(&P)",
    "環境設定",
    "終了(&X)",
    "終了",
    "最新の情報に更新(&R)",
    "最新の情報に更新",
    "一覧の取得/更新(&L)",
    "切断",
    "送信(&S)",
    "インポート(&I)",
    "削除(&D)",
    "プロパティ(&R)",
    "プロパティ(&R)",
    "エクスプローラを起動(&E)",
    "エクスプローラを起動",
    "大きいアイコン(&I)",
    "大きいアイコン",
    "小さいアイコン(&S)",
    "小さいアイコン",
    "一覧(&T)",
    "一覧",
    "詳細(&D)",
    "詳細",
    "ファイル名",
    "タイプ",
    "サイズ(バイト)",
    "エラー",
    "フォルダ",
    "入力デバイス",
    "出力デバイス",
    "参照...",
    "フォルダの参照",
    "全般",
    "場所:",
    "使用領域:",
    "空き領域:",
    "容量:",
    "閉じる(&C)",
    "履歴データベースは使用中です (ほかのプログラムが5秒を超えて使用しています)",
    "履歴データベースに書き込めません (読み取り専用です)",
    "履歴データベースのディスクがいっぱいです",
    "履歴データベースは新しいバージョンのRavlinが作成したものです。変更せずにそのままにしました",
    "履歴データベースが壊れているか、履歴データベースではありません。変更せずにそのままにしました",
    "履歴データベースでエラーが発生しました",
    "送信する前に古い%1を履歴に保管しています...",
    "削除する前に古い%1を履歴に保管しています...",
    "音色",
    "DSP設定",
    "ソング",
    "リズム",
    "レジストレーション",
    "履歴を記録できませんでした: %1",
    // history commands
    "「%1」は番号ではありません",
    "「%1」は日付ではありません (YYYY-MM-DD または YYYY-MM-DDTHH:MM:SS)",
    "スナップショット %1 はありません",
    "キーボード %1 はありません",
    "「%1」という名前はほかのキーボードが使っています",
    "履歴に項目 %1 はありません",
    "スナップショット %1 件と項目 %2 件を削除しました",
    "項目 %1: データがハッシュと一致しません",
    "履歴データベースに %1 件の問題があります",
    "%1: 名前とサイズしか記録されていないため書き出しません",
    "スナップショット %1 にはデータを持つ項目がありません",
};
const char* const kWordEn[] = {
    "Cancel",
    "Stop the work with the keyboard (Esc)",
    "(none)",
    "MIDI input: %1",
    "MIDI output: %1",
    " (not connected)",
    "%1 of %2",
    "%1 of %2 (%3) failed; ",
    "nothing was done before it.",
    "the %1 before it were done.",
    "Detecting...",
    "%1 keyboards answered; the first is chosen",
    "&Detect",
    "Ask every MIDI port for the keyboard and choose the ports it answers on",
    "The keyboard answered on %1",
    "No keyboard answered on the MIDI ports; the chosen ports stay",
    "Cancelled after the item under way was finished",
    "The MIDI port \"%1\" is gone",
    "No program is set to open folders",
    "Restore replaces %1 items on the keyboard with the backup of %2. Continue?",
    "%1 The built-in simulator can still be used.",
    "%1 messages",
    "Save As",
    "Log files (*.log *.txt)",
    "failure",
    "to keyboard",
    "from keyboard",
    "Time (s)",
    "Direction",
    "Length",
    "Meaning",
    "Bytes",
    "MIDI Monitor",
    "&MIDI Monitor",
    "&Pause",
    "Stop the display; messages are still kept",
    "C&lear",
    "&Copy",
    "Copy the selected messages, or all, as log text",
    "&Save As...",
    "Back Up Keyboard",
    "&Back Up Keyboard...",
    "Restore Keyboard",
    "&Restore Keyboard...",
    "stray, dropped",
    "Stopping after this item...",
    "Keyboard work is running. Stop it and close?",
    "keyboard (in: %1, out: %2)",
    "%1 (the port asked for: %2)",
    "the slot holds no data",
    "the keyboard has no slot %1",
    "'%1' is no slot address; use %2",
    "send takes pairs of a file and an address",
    "%1 must not be empty",
    "cannot make the folder",
    "cannot remove the backup of an empty slot",
    "no backup files (such as tone-0.lqd) in the folder",
    "a file of this type holds no data name",
    "the data name must not be empty",
    "the data name '%1' is cut to 8 characters: '%2'",
    "input %1 %2: cannot be opened; not probed",
    "output %1 %2: cannot be opened; not probed",
    "the settings cannot be used (%1); using %2",
    "%1: no port number %2; 'ravlin-cli devices' lists the ports",
    "%1: no port name contains '%2'; 'ravlin-cli devices' lists the ports",
    "%1: '%2' is part of several port names: %3",
    "no command given",
    "unknown command '%1'",
    "usage: %1",
    "Try 'ravlin-cli --help'.",
    "cannot write the output (%1)",
    "cannot write the log %1",
    "%1/%2 bytes",
    "protocol error %1",
    "%1: cannot read the simulator memory %2",
    "%1: cannot write the simulator memory %2",
    "Get/Update List",
    "Import",
    "Send",
    "Delete",
    "Connect",
    "MIDI input",
    "MIDI output",
    "Keyboard memory",
    "Items",
    "Name",
    "Type",
    "Size",
    "Capacity %1 bytes, used %2 bytes, free %3 bytes",
    "Progress",
    "The browser refused access to MIDI devices; allow it in the site's settings and click Connect "
    "again.",
    "The MIDI port is held by another program; close that program and try again.",
    "This browser has no Web MIDI, so it cannot talk to the keyboard; the built-in simulator can "
    "still be used.",
    "Properties",
    "Property",
    "Type:",
    "Size:",
    "Name:",
    "%1byte(s)",
    "OK",
    "Firefox allows MIDI only once its site permission add-on is installed: click Connect, accept "
    "the add-on Firefox offers, then reload the page and click Connect again.",
    "&File",
    "&View",
    "&Preference",
    "Preference",
    "E&xit",
    "Exit",
    "&Retrieve",
    "Retrieve",
    "Get/Update &List",
    "Disconnect",
    "&Send",
    "&Import",
    "&Delete",
    "P&roperties",
    "P&roperies",
    "Start Up &Explorer",
    "Start Up Explorer",
    "Large &Icon",
    "Large Icon",
    "&Small Icon",
    "Small Icon",
    "Lis&t",
    "List",
    "&Detailed",
    "Detailed",
    "Name",
    "Type",
    "Size(byte)",
    "Error",
    "Directories",
    "Input Device",
    "Output Device",
    "Browse...",
    "Directries",
    "General",
    "Location:",
    "Used Space:",
    "Free Space:",
    "Capacity:",
    "&Close",
    "The history store is busy: another program has held it for more than 5 seconds",
    "The history store cannot be written (read-only)",
    "The disk of the history store is full",
    "The history store was written by a newer version of Ravlin; it is left as it is",
    "The history store is damaged or is not a history store; it is left as it is",
    "The history store failed",
    "Keeping the old %1 before sending...",
    "Keeping the old %1 before deleting...",
    "tone",
    "DSP setting",
    "song",
    "rhythm",
    "registration",
    "The history was not recorded: %1",
    // history commands
    "'%1' is not a number",
    "'%1' is not a date (YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS)",
    "no snapshot %1",
    "no keyboard %1",
    "another keyboard is named '%1'",
    "no item %1 in the history",
    "forgot %1 snapshot(s) and %2 item(s)",
    "item %1: its bytes do not match its hash",
    "the history store has %1 problem(s)",
    "%1: only its name and size were kept; left out",
    "snapshot %1 holds no item's data",
};

const char* const* const kJapanese[kGroupCount] = {kMidiDevJa, kSysExJa,  kKbdDrvJa, kStreamJa,
                                                   kOperateJa, kStatusJa, kFolderJa, kWordJa};
const char* const* const kEnglish[kGroupCount] = {kMidiDevEn, kSysExEn,  kKbdDrvEn, kStreamEn,
                                                  kOperateEn, kStatusEn, kFolderEn, kWordEn};

static_assert(std::size(kMidiDevJa) == 7 && std::size(kMidiDevEn) == 7);
static_assert(std::size(kSysExJa) == 6 && std::size(kSysExEn) == 6);
static_assert(std::size(kKbdDrvJa) == 2 && std::size(kKbdDrvEn) == 2);
static_assert(std::size(kStreamJa) == 16 && std::size(kStreamEn) == 16);
static_assert(std::size(kOperateJa) == 7 && std::size(kOperateEn) == 7);
static_assert(std::size(kStatusJa) == 5 && std::size(kStatusEn) == 5);
static_assert(std::size(kFolderJa) == 1 && std::size(kFolderEn) == 1);
static_assert(std::size(kWordJa) == MsgStr::kWordCount && std::size(kWordEn) == MsgStr::kWordCount);

// Every lookup is bounded by its group's size, taken from the texts themselves.
constexpr int32_t kGroupSize[kGroupCount] = {
    std::size(kMidiDevEn), std::size(kSysExEn),  std::size(kKbdDrvEn), std::size(kStreamEn),
    std::size(kOperateEn), std::size(kStatusEn), std::size(kFolderEn), std::size(kWordEn)};

// Result texts of the MIDI service. "%s" stands for the direction: input or
// output, as the failed call was one or the other.
struct ResultText {
  MidiResult code;
  const char* english;
  const char* japanese;
};

const ResultText kResultTexts[] = {
    {midi_result::kOk, "No MIDI %s error", "MIDI%sエラーはありません"},
    {midi_result::kError, "Unspecified MIDI %s error", "原因不明のMIDI%sエラーです"},
    {midi_result::kBadDeviceId, "There is no MIDI %s device with that number",
     "指定された番号のMIDI%sデバイスはありません"},
    {midi_result::kNotEnabled, "The MIDI driver could not be enabled",
     "MIDIドライバを有効にできません"},
    {midi_result::kAllocated, "The MIDI %s device is already in use", "MIDI%sデバイスは使用中です"},
    {midi_result::kInvalidHandle, "The MIDI %s device is not open",
     "MIDI%sデバイスが開かれていません"},
    {midi_result::kNoDriver, "No MIDI service is available on this computer",
     "このコンピュータではMIDIを使用できません"},
    {midi_result::kNoMemory, "Not enough memory for the MIDI %s device",
     "MIDI%sデバイスのメモリが足りません"},
    {midi_result::kInvalidParam, "Invalid parameter in a MIDI %s call",
     "MIDI%sの呼び出しのパラメータが正しくありません"},
    {midi_result::kUnprepared, "The MIDI %s buffer is not prepared",
     "MIDI%sバッファが準備されていません"},
    {midi_result::kStillPlaying, "The MIDI %s buffer is still in use",
     "MIDI%sバッファはまだ使用中です"},
    {midi_result::kNotReady, "The MIDI %s device is busy", "MIDI%sデバイスはビジー状態です"},
};

std::string Substitute(const char* text, const std::string& value) {
  std::string result(text);
  const size_t at = result.find("%s");
  if (at != std::string::npos) result.replace(at, 2, value);
  return result;
}

bool StartsWithJa(const char* value) { return value[0] == 'j' && value[1] == 'a'; }

}  // namespace

MsgStr::MsgStr() : MsgStr(LocaleLanguage()) {}

MsgStr::MsgStr(Language language) : language_(language) {
  const char* const* const* texts = language == Language::Japanese ? kJapanese : kEnglish;
  for (int group = 0; group < kGroupCount; ++group) groups_[group] = texts[group];
}

MsgStr::Language MsgStr::LocaleLanguage() {
  // The first of these that is set and not empty decides, as for any program.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
      return StartsWithJa(value) ? Language::Japanese : Language::English;
    }
  }
  return Language::English;
}

namespace {

std::string Lookup(const char* const* group, int32_t groupSize, int32_t code) {
  if (code < 0 || code >= groupSize) return {};
  return group[code];
}

}  // namespace

std::string MsgStr::MidiDevText(int32_t code, uint32_t subCode) const {
  if (code == 0 || code == 1) return MidiResultText(subCode, code == 0);
  return Lookup(groups_[0], kGroupSize[0], code);
}

std::string MsgStr::SysExText(int32_t code) const {
  return Lookup(groups_[1], kGroupSize[1], code);
}

std::string MsgStr::KbdDrvText(int32_t code) const {
  return Lookup(groups_[2], kGroupSize[2], code);
}

std::string MsgStr::StreamText(int32_t code) const {
  return Lookup(groups_[3], kGroupSize[3], code);
}

std::string MsgStr::OperateText(int32_t code) const {
  return Lookup(groups_[4], kGroupSize[4], code);
}

std::string MsgStr::StatusText(int32_t index) const {
  return Lookup(groups_[5], kGroupSize[5], index);
}

std::string MsgStr::FolderText(int32_t index) const {
  return Lookup(groups_[6], kGroupSize[6], index);
}

std::string MsgStr::WordText(Word word) const { return Lookup(groups_[7], kGroupSize[7], word); }

std::string MsgStr::MidiResultText(uint32_t result, bool input) const {
  const bool japanese = language_ == Language::Japanese;
  const std::string direction = japanese ? (input ? "入力" : "出力") : (input ? "input" : "output");
  for (const ResultText& entry : kResultTexts) {
    if (entry.code == result) {
      return Substitute(japanese ? entry.japanese : entry.english, direction);
    }
  }
  const std::string number = std::to_string(result);
  return japanese ? Substitute("MIDI%sエラー ", direction) + number
                  : Substitute("MIDI %s error ", direction) + number;
}

std::string MsgStr::FileText(bool create, const std::string& path) const {
  if (language_ == Language::Japanese) {
    return Substitute(create ? "ファイル %s を作成できません" : "ファイル %s は開けません", path);
  }
  return Substitute(create ? "Cannot create file %s" : "Cannot open file %s", path);
}
