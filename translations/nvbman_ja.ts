<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Help</name>
    <message>
        <source>The manual is not installed: &quot;%1&quot; is missing.</source>
        <translation>マニュアルがインストールされていません: &quot;%1&quot; がありません。</translation>
    </message>
    <message>
        <source>The manual &quot;%1&quot; could not be opened: no program to show it was found (NvbMan asked the desktop, xdg-open and the usual web browsers). Open this address in a web browser: %2</source>
        <translation>マニュアル &quot;%1&quot; を開けませんでした: 表示できるプログラムが見つかりません (NvbMan はデスクトップ、xdg-open、よく使われるウェブブラウザーの順に試しました)。このアドレスをウェブブラウザーで開いてください: %2</translation>
    </message>
    <message>
        <source>no device chosen</source>
        <translation>デバイスが選ばれていません</translation>
    </message>
    <message>
        <source>%1, inside this program</source>
        <translation>%1 (このプログラムの内部)</translation>
    </message>
    <message>
        <source>none found</source>
        <translation>見つかりません</translation>
    </message>
    <message>
        <source>Manages the music data of an MLS-850 electronic keyboard over MIDI.</source>
        <translation>MLS-850 電子キーボードの音楽データを MIDI で管理します。</translation>
    </message>
    <message>
        <source>MIDI systems</source>
        <translation>MIDI システム</translation>
    </message>
    <message>
        <source>Keyboard reached through</source>
        <translation>キーボードの接続先</translation>
    </message>
    <message>
        <source>About NvbMan</source>
        <translation>NvbMan について</translation>
    </message>
    <message>
        <source>© 2026 the NvbMan developers. All rights reserved. Qt is used under the GNU LGPL version 3, RtMidi under its MIT-style licence.</source>
        <translation>© 2026 NvbMan の開発者。無断複製・転載を禁じます。Qt は GNU LGPL バージョン 3 の下で、RtMidi は MIT 形式のライセンスの下で使用しています。</translation>
    </message>
    <message>
        <source>%1 (not connected)</source>
        <translation>%1 (未接続)</translation>
    </message>
</context>
<context>
    <name>KbdListModel</name>
    <message>
        <source>Tone</source>
        <translation>トーン</translation>
    </message>
    <message>
        <source>DSP</source>
        <translation>DSP</translation>
    </message>
    <message>
        <source>Song</source>
        <translation>ソング</translation>
    </message>
    <message>
        <source>Rhythm</source>
        <translation>リズム</translation>
    </message>
    <message>
        <source>Registraion</source>
        <translation>レジストレーション</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>種類</translation>
    </message>
    <message>
        <source>Size(byte)</source>
        <translation>サイズ(バイト)</translation>
    </message>
    <message>
        <source>On PC</source>
        <translation>PC上</translation>
    </message>
    <message>
        <source>Yes: %1</source>
        <translation>あり: %1</translation>
    </message>
    <message numerus="yes">
        <source>Yes: %1 and %n more</source>
        <translation>
            <numerusform>あり: %1 ほか %n 件</numerusform>
        </translation>
    </message>
    <message>
        <source>This very item is in:</source>
        <translation>同じデータがあるファイル:</translation>
    </message>
    <message>
        <source>No</source>
        <translation>なし</translation>
    </message>
    <message>
        <source>No file in the library holds this item.</source>
        <translation>ライブラリにこのデータを持つファイルはありません。</translation>
    </message>
    <message>
        <source>Not checked</source>
        <translation>未確認</translation>
    </message>
    <message>
        <source>Files hold items of this type and size; Check On PC fetches the item to compare.</source>
        <translation>同じ種類とサイズのデータを持つファイルがあります。「PC上を確認」でデータを取得して比較します。</translation>
    </message>
    <message>
        <source>Of the same name:</source>
        <translation>同じ名前:</translation>
    </message>
    <message>
        <source>As the item was when last fetched or sent, at %1.</source>
        <translation>%1 に最後に取得または送信した時点のデータです。</translation>
    </message>
    <message>
        <source>Tags</source>
        <translation>タグ</translation>
    </message>
</context>
<context>
    <name>KeyboardList</name>
    <message>
        <source>%1: the keyboard&apos;s list, %2</source>
        <translation>%1: キーボードの一覧 (%2)</translation>
    </message>
    <message>
        <source>Slot</source>
        <translation>場所</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>種類</translation>
    </message>
    <message>
        <source>Size(byte)</source>
        <translation>サイズ(バイト)</translation>
    </message>
    <message>
        <source>On PC</source>
        <translation>PC上</translation>
    </message>
    <message>
        <source>Tags</source>
        <translation>タグ</translation>
    </message>
</context>
<context>
    <name>ListDialogs</name>
    <message>
        <source>&quot;%1&quot; is no .csv, .html or .pdf file name.</source>
        <translation>&quot;%1&quot; は .csv、.html、.pdf のどのファイル名でもありません。</translation>
    </message>
    <message>
        <source>CSV for a spreadsheet (*.csv)</source>
        <translation>表計算用の CSV (*.csv)</translation>
    </message>
    <message>
        <source>Web page (*.html)</source>
        <translation>ウェブページ (*.html)</translation>
    </message>
    <message>
        <source>PDF document (*.pdf)</source>
        <translation>PDF 文書 (*.pdf)</translation>
    </message>
    <message>
        <source>Export List</source>
        <translation>一覧を書き出し</translation>
    </message>
    <message>
        <source>Print List</source>
        <translation>一覧を印刷</translation>
    </message>
</context>
<context>
    <name>LocalListModel</name>
    <message>
        <source>File</source>
        <translation>ファイル</translation>
    </message>
    <message>
        <source>%1 File</source>
        <translation>%1 ファイル</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>種類</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>サイズ</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>データ名</translation>
    </message>
    <message>
        <source>Item Type</source>
        <translation>データの種類</translation>
    </message>
    <message>
        <source>Tags</source>
        <translation>タグ</translation>
    </message>
</context>
<context>
    <name>MidiLogDock</name>
    <message>
        <source>MIDI Log</source>
        <translation>MIDI ログ</translation>
    </message>
    <message>
        <source>&amp;MIDI Log</source>
        <translation>MIDI ログ(&amp;M)</translation>
    </message>
    <message>
        <source>MIDI messages</source>
        <translation>MIDI メッセージ</translation>
    </message>
    <message>
        <source>&amp;Clear</source>
        <translation>消去(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Save As...</source>
        <translation>名前を付けて保存(&amp;S)...</translation>
    </message>
    <message>
        <source>Save MIDI Log</source>
        <translation>MIDI ログの保存</translation>
    </message>
    <message>
        <source>Text (*.txt)</source>
        <translation>テキスト (*.txt)</translation>
    </message>
    <message>
        <source>The MIDI log could not be saved to &quot;%1&quot;: %2</source>
        <translation>MIDI ログを「%1」に保存できませんでした: %2</translation>
    </message>
</context>
<context>
    <name>MidiLogModel</name>
    <message>
        <source>Time</source>
        <translation>時刻</translation>
    </message>
    <message>
        <source>Way</source>
        <translation>方向</translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>バイト列</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>メッセージ</translation>
    </message>
</context>
<context>
    <name>TAsOfForm</name>
    <message>
        <source>Restore Keyboard As Of</source>
        <translation>日時を指定してキーボードを復元</translation>
    </message>
    <message>
        <source>NvbMan puts back what the keyboard held then, as far as it has seen it. Slots it knew nothing of then stay as they are; what each slot holds now is kept first, and Undo takes it all back.</source>
        <translation>その時点でキーボードが持っていたデータを、NvbMan が記録している範囲で戻します。その時点の記録がないスロットはそのままです。各スロットの今のデータは先に保存され、「元に戻す」ですべて戻せます。</translation>
    </message>
    <message>
        <source>The date and time whose keyboard to put back</source>
        <translation>戻したいキーボードの日時</translation>
    </message>
    <message>
        <source>&amp;When:</source>
        <translation>日時(&amp;W):</translation>
    </message>
    <message>
        <source>&amp;Backup...</source>
        <translation>バックアップ(&amp;B)...</translation>
    </message>
    <message>
        <source>Put back the keyboard as a backup saved it</source>
        <translation>バックアップに保存されたとおりにキーボードを戻します</translation>
    </message>
</context>
<context>
    <name>TChangesForm</name>
    <message>
        <source>added</source>
        <translation>追加</translation>
    </message>
    <message>
        <source>changed</source>
        <translation>変更</translation>
    </message>
    <message>
        <source>removed</source>
        <translation>削除</translation>
    </message>
    <message>
        <source>not known before</source>
        <translation>以前の記録なし</translation>
    </message>
    <message>
        <source>What Changed</source>
        <translation>変更点</translation>
    </message>
    <message>
        <source>List what changed after this date and time</source>
        <translation>この日時より後の変更を表示します</translation>
    </message>
    <message>
        <source>&amp;Since:</source>
        <translation>開始日時(&amp;S):</translation>
    </message>
    <message>
        <source>&amp;Versions...</source>
        <translation>バージョン(&amp;V)...</translation>
    </message>
    <message>
        <source>Every version of the chosen slot</source>
        <translation>選んだスロットのすべてのバージョン</translation>
    </message>
    <message>
        <source>Slot</source>
        <translation>スロット</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>変更</translation>
    </message>
    <message>
        <source>Before</source>
        <translation>以前</translation>
    </message>
    <message>
        <source>Now</source>
        <translation>現在</translation>
    </message>
    <message numerus="yes">
        <source>%n slot(s) changed</source>
        <translation>
            <numerusform>%n 個のスロットが変わりました</numerusform>
        </translation>
    </message>
    <message>
        <source>List what changed up to this date and time</source>
        <translation>この日時までの変更を表示します</translation>
    </message>
    <message>
        <source>&amp;Until:</source>
        <translation>終了日時(&amp;U):</translation>
    </message>
</context>
<context>
    <name>TDirBrowseForm</name>
    <message>
        <source>Directries</source>
        <translation>フォルダの参照</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>フォルダ</translation>
    </message>
</context>
<context>
    <name>TEkDataPropertyForm</name>
    <message>
        <source>Property</source>
        <translation>プロパティ</translation>
    </message>
    <message>
        <source>File name</source>
        <translation>ファイル名</translation>
    </message>
    <message>
        <source>Type:</source>
        <translation>種類:</translation>
    </message>
    <message>
        <source>Size:</source>
        <translation>サイズ:</translation>
    </message>
    <message>
        <source>Location:</source>
        <translation>場所:</translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation>名前(&amp;N):</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>General</source>
        <translation>全般</translation>
    </message>
    <message>
        <source>Tone</source>
        <translation>トーン</translation>
    </message>
    <message>
        <source>DSP</source>
        <translation>DSP</translation>
    </message>
    <message>
        <source>Song</source>
        <translation>ソング</translation>
    </message>
    <message>
        <source>Rhythm</source>
        <translation>リズム</translation>
    </message>
    <message>
        <source>Regstration</source>
        <translation>レジストレーション</translation>
    </message>
    <message>
        <source>&amp;Versions...</source>
        <translation>バージョン(&amp;V)...</translation>
    </message>
    <message>
        <source>Every version of this item the program has seen</source>
        <translation>このデータについて記録されたすべてのバージョン</translation>
    </message>
</context>
<context>
    <name>TKbdDrivePropertyForm</name>
    <message>
        <source>Properties</source>
        <translation>プロパティ</translation>
    </message>
    <message>
        <source>Used Space:</source>
        <translation>使用領域:</translation>
    </message>
    <message>
        <source>Free Space:</source>
        <translation>空き領域:</translation>
    </message>
    <message>
        <source>Capacity:</source>
        <translation>容量:</translation>
    </message>
    <message>
        <source>General</source>
        <translation>全般</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>閉じる(&amp;C)</translation>
    </message>
    <message>
        <source>%1byte(s)</source>
        <translation>%1 バイト</translation>
    </message>
</context>
<context>
    <name>TLibraryForm</name>
    <message>
        <source>Library</source>
        <translation>ライブラリ</translation>
    </message>
    <message>
        <source>All types</source>
        <translation>すべての種類</translation>
    </message>
    <message>
        <source>Only &amp;duplicates</source>
        <translation>重複のみ(&amp;D)</translation>
    </message>
    <message>
        <source>List only items found in more than one place</source>
        <translation>複数の場所にあるデータだけを表示します</translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation>名前(&amp;N):</translation>
    </message>
    <message>
        <source>&amp;Type:</source>
        <translation>種類(&amp;T):</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>種類</translation>
    </message>
    <message>
        <source>Size(byte)</source>
        <translation>サイズ(バイト)</translation>
    </message>
    <message>
        <source>Copies</source>
        <translation>個数</translation>
    </message>
    <message>
        <source>File</source>
        <translation>ファイル</translation>
    </message>
    <message>
        <source>Library items</source>
        <translation>ライブラリのデータ</translation>
    </message>
    <message>
        <source>&amp;Show File</source>
        <translation>ファイルを表示(&amp;S)</translation>
    </message>
    <message>
        <source>Select the file in the PC list</source>
        <translation>PC のリストでファイルを選択します</translation>
    </message>
    <message>
        <source>Scan &amp;Now</source>
        <translation>今すぐ読み込む(&amp;N)</translation>
    </message>
    <message>
        <source>Read the library&apos;s folders again</source>
        <translation>ライブラリのフォルダを読み直します</translation>
    </message>
    <message>
        <source>The library cannot be used: %1</source>
        <translation>ライブラリを使えません: %1</translation>
    </message>
    <message>
        <source>Reading the library&apos;s folders...</source>
        <translation>ライブラリのフォルダを読み込み中...</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) or folder(s) could not be read.</source>
        <translation>
            <numerusform>%n 個のファイルまたはフォルダを読めませんでした。</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 (duplicate)</source>
        <translation>%1 (重複)</translation>
    </message>
    <message numerus="yes">
        <source>%n item(s)</source>
        <translation>
            <numerusform>%n 件のデータ</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n 個のファイル</numerusform>
        </translation>
    </message>
    <message>
        <source>&amp;Print...</source>
        <translation>印刷(&amp;P)...</translation>
    </message>
    <message>
        <source>Print the items listed</source>
        <translation>一覧のデータを印刷します</translation>
    </message>
    <message>
        <source>&amp;Export...</source>
        <translation>書き出し(&amp;E)...</translation>
    </message>
    <message>
        <source>Write the items listed as CSV, a web page or a PDF document</source>
        <translation>一覧のデータを CSV、ウェブページ、PDF 文書として書き出します</translation>
    </message>
    <message>
        <source>Library: %1, %2</source>
        <translation>ライブラリ: %1 (%2)</translation>
    </message>
    <message>
        <source>List only items whose tags or note hold every one of these words</source>
        <translation>タグかメモにこれらの語をすべて含む項目だけを表示します</translation>
    </message>
    <message>
        <source>Ta&amp;g:</source>
        <translation>タグ(&amp;G):</translation>
    </message>
    <message>
        <source>Tags and n&amp;otes:</source>
        <translation>タグとメモ(&amp;O):</translation>
    </message>
    <message>
        <source>Tags</source>
        <translation>タグ</translation>
    </message>
    <message>
        <source>T&amp;ags...</source>
        <translation>タグ(&amp;A)...</translation>
    </message>
    <message>
        <source>Change the tags and note of the selected items</source>
        <translation>選択した項目のタグとメモを変更します</translation>
    </message>
    <message>
        <source>The tags cannot be used: %1</source>
        <translation>タグを使えません: %1</translation>
    </message>
    <message>
        <source>Any tag</source>
        <translation>すべてのタグ</translation>
    </message>
</context>
<context>
    <name>TPcLinkForm</name>
    <message>
        <source>&amp;Copy To...</source>
        <translation>コピー(&amp;C)...</translation>
    </message>
    <message>
        <source>&amp;Move To...</source>
        <translation>移動(&amp;M)...</translation>
    </message>
    <message>
        <source>S&amp;wap With...</source>
        <translation>入れ替え(&amp;W)...</translation>
    </message>
    <message>
        <source>Re&amp;name...</source>
        <translation>名前の変更(&amp;N)...</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>編集(&amp;E)</translation>
    </message>
    <message>
        <source>Get/Update &amp;List</source>
        <translation>リストの取得/更新(&amp;L)</translation>
    </message>
    <message>
        <source>Get/Update List</source>
        <translation>リストの取得/更新</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>切断</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>削除(&amp;D)</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>削除</translation>
    </message>
    <message>
        <source>&amp;Preference</source>
        <translation>環境設定(&amp;P)</translation>
    </message>
    <message>
        <source>Preference</source>
        <translation>環境設定</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>終了(&amp;X)</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>P&amp;roperies</source>
        <translation>プロパティ(&amp;R)</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>プロパティ</translation>
    </message>
    <message>
        <source>&amp;Send</source>
        <translation>送信(&amp;S)</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>送信</translation>
    </message>
    <message>
        <source>&amp;Import</source>
        <translation>受信(&amp;I)</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>受信</translation>
    </message>
    <message>
        <source>P&amp;roperties</source>
        <translation>プロパティ(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Retrieve</source>
        <translation>最新の情報に更新(&amp;R)</translation>
    </message>
    <message>
        <source>Retrieve</source>
        <translation>最新の情報に更新</translation>
    </message>
    <message>
        <source>Start Up &amp;Explorer</source>
        <translation>エクスプローラを起動(&amp;E)</translation>
    </message>
    <message>
        <source>Start Up Explorer</source>
        <translation>エクスプローラを起動</translation>
    </message>
    <message>
        <source>&amp;Back Up Keyboard...</source>
        <translation>キーボードのバックアップ(&amp;B)...</translation>
    </message>
    <message>
        <source>Back Up Keyboard</source>
        <translation>キーボードのバックアップ</translation>
    </message>
    <message>
        <source>&amp;Restore Keyboard...</source>
        <translation>キーボードの復元(&amp;R)...</translation>
    </message>
    <message>
        <source>Restore Keyboard</source>
        <translation>キーボードの復元</translation>
    </message>
    <message>
        <source>Replaced &amp;Items...</source>
        <translation>置き換えたデータ(&amp;I)...</translation>
    </message>
    <message>
        <source>Replaced Items</source>
        <translation>置き換えたデータ</translation>
    </message>
    <message>
        <source>Co&amp;mpare With Backup...</source>
        <translation>バックアップと比較(&amp;M)...</translation>
    </message>
    <message>
        <source>Compare With Backup</source>
        <translation>バックアップと比較</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>表示(&amp;V)</translation>
    </message>
    <message>
        <source>Large Icon</source>
        <translation>大きいアイコン</translation>
    </message>
    <message>
        <source>Small Icon</source>
        <translation>小さいアイコン</translation>
    </message>
    <message>
        <source>List</source>
        <translation>一覧</translation>
    </message>
    <message>
        <source>Detailed</source>
        <translation>詳細</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状態</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>Local</source>
        <translation>パソコン</translation>
    </message>
    <message>
        <source>Keyboard</source>
        <translation>キーボード</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>進行状況</translation>
    </message>
    <message>
        <source>PC folders</source>
        <translation>パソコンのフォルダ</translation>
    </message>
    <message>
        <source>PC files</source>
        <translation>パソコンのファイル</translation>
    </message>
    <message>
        <source>Keyboard folders</source>
        <translation>キーボードのフォルダ</translation>
    </message>
    <message>
        <source>Keyboard items</source>
        <translation>キーボードのデータ</translation>
    </message>
    <message>
        <source>&quot;%1&quot; does not exist.</source>
        <translation>「%1」はありません。</translation>
    </message>
    <message>
        <source>No file browser could be started for &quot;%1&quot;.</source>
        <translation>&quot;%1&quot; を開くファイル・ブラウザを起動できませんでした。</translation>
    </message>
    <message>
        <source>&amp;Export As .syx...</source>
        <translation>.syx で書き出し(&amp;E)...</translation>
    </message>
    <message>
        <source>Export As .syx</source>
        <translation>.syx で書き出し</translation>
    </message>
    <message>
        <source>Chec&amp;k On PC</source>
        <translation>PC上を確認(&amp;K)</translation>
    </message>
    <message>
        <source>Check On PC</source>
        <translation>PC上を確認</translation>
    </message>
    <message>
        <source>&amp;Library...</source>
        <translation>ライブラリ(&amp;L)...</translation>
    </message>
    <message>
        <source>Library</source>
        <translation>ライブラリ</translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) checked</source>
        <translation>
            <numerusform>%n 件を確認しました</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n not on the PC.</source>
        <translation>
            <numerusform>PC上にないもの %n 件。</numerusform>
        </translation>
    </message>
    <message>
        <source>Not checked:</source>
        <translation>確認できなかったデータ:</translation>
    </message>
    <message>
        <source>NvbMan &amp;Help</source>
        <translation>NvbMan ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>NvbMan Help</source>
        <translation>NvbMan ヘルプ</translation>
    </message>
    <message>
        <source>&amp;About NvbMan</source>
        <translation>NvbMan について(&amp;A)</translation>
    </message>
    <message>
        <source>About NvbMan</source>
        <translation>NvbMan について</translation>
    </message>
    <message>
        <source>About &amp;Qt</source>
        <translation>Qt について(&amp;Q)</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>Qt について</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message numerus="yes">
        <source>... and %n more</source>
        <translation>
            <numerusform>... ほか %n 件</numerusform>
        </translation>
    </message>
    <message>
        <source>A command is running. Stop it and close?</source>
        <translation>コマンドの実行中です。中止して閉じますか?</translation>
    </message>
    <message>
        <source>Stop and Close</source>
        <translation>中止して閉じる</translation>
    </message>
    <message>
        <source>The list was written to &quot;%1&quot;.</source>
        <translation>一覧を &quot;%1&quot; に書き出しました。</translation>
    </message>
    <message>
        <source>Export List</source>
        <translation>一覧を書き出し</translation>
    </message>
    <message>
        <source>Print List</source>
        <translation>一覧を印刷</translation>
    </message>
    <message>
        <source>&amp;Print List...</source>
        <translation>一覧を印刷(&amp;P)...</translation>
    </message>
    <message>
        <source>Export Lis&amp;t...</source>
        <translation>一覧を書き出し(&amp;T)...</translation>
    </message>
    <message>
        <source>&amp;Tags...</source>
        <translation>タグ(&amp;T)...</translation>
    </message>
    <message>
        <source>Tags of the selected files&apos; items</source>
        <translation>選んだファイルのデータのタグ</translation>
    </message>
    <message>
        <source>Tags of the selected items</source>
        <translation>選んだデータのタグ</translation>
    </message>
    <message>
        <source>Export T&amp;ags...</source>
        <translation>タグを書き出し(&amp;A)...</translation>
    </message>
    <message>
        <source>Export Tags</source>
        <translation>タグを書き出し</translation>
    </message>
    <message>
        <source>I&amp;mport Tags...</source>
        <translation>タグを読み込み(&amp;M)...</translation>
    </message>
    <message>
        <source>Import Tags</source>
        <translation>タグを読み込み</translation>
    </message>
    <message>
        <source>&amp;Tags Column</source>
        <translation>タグの列(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Versions...</source>
        <translation>バージョン(&amp;V)...</translation>
    </message>
    <message>
        <source>Every version of the selected slot</source>
        <translation>選択したスロットのすべてのバージョン</translation>
    </message>
    <message>
        <source>Restore Keyboard &amp;As Of...</source>
        <translation>日時を指定してキーボードを復元(&amp;A)...</translation>
    </message>
    <message>
        <source>Restore Keyboard As Of</source>
        <translation>日時を指定してキーボードを復元</translation>
    </message>
    <message>
        <source>What C&amp;hanged...</source>
        <translation>変更点(&amp;H)...</translation>
    </message>
    <message>
        <source>What changed on the keyboard since a date</source>
        <translation>ある日時以降にキーボードで変わったこと</translation>
    </message>
    <message>
        <source>Where and when the selected file&apos;s item was on a keyboard</source>
        <translation>選択したファイルのデータがいつどのスロットにあったか</translation>
    </message>
</context>
<context>
    <name>TPrefForm</name>
    <message>
        <source>Preference</source>
        <translation>環境設定</translation>
    </message>
    <message>
        <source>Input Device</source>
        <translation>入力デバイス</translation>
    </message>
    <message>
        <source>Output Device</source>
        <translation>出力デバイス</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>テスト(&amp;T)</translation>
    </message>
    <message>
        <source>Ask the chosen devices whether an MLS-850 answers</source>
        <translation>選んだデバイスで MLS-850 が応答するか確かめます</translation>
    </message>
    <message>
        <source>&amp;Find</source>
        <translation>検索(&amp;F)</translation>
    </message>
    <message>
        <source>Try every pair of devices and choose the first an MLS-850 answers on</source>
        <translation>デバイスの組み合わせを順に試し、MLS-850 が最初に応答した組み合わせを選びます</translation>
    </message>
    <message>
        <source>Connection test result</source>
        <translation>接続テストの結果</translation>
    </message>
    <message>
        <source>&amp;Keep a copy of what Send and Delete replace</source>
        <translation>送信と削除で置き換えるデータのコピーを保存する(&amp;K)</translation>
    </message>
    <message>
        <source>&amp;Verify after sending</source>
        <translation>送信後に確認する(&amp;V)</translation>
    </message>
    <message>
        <source>Fetch the slot again after a send and compare it with the file</source>
        <translation>送信後にスロットをもう一度受信し、ファイルと比較します</translation>
    </message>
    <message>
        <source>the server&apos;s own</source>
        <translation>サーバーの設定のまま</translation>
    </message>
    <message>
        <source> frames</source>
        <translation> フレーム</translation>
    </message>
    <message>
        <source>PipeWire period</source>
        <translation>PipeWire の周期</translation>
    </message>
    <message>
        <source>The period NvbMan asks of PipeWire while it talks to the keyboard, in frames at 48 kHz; 0 asks nothing</source>
        <translation>キーボードとの通信中に NvbMan が PipeWire に求める周期（48 kHz でのフレーム数。0 は何も求めません）</translation>
    </message>
    <message>
        <source>PipeWire &amp;period:</source>
        <translation>PipeWire の周期(&amp;P):</translation>
    </message>
    <message>
        <source>Default folder</source>
        <translation>既定のフォルダ</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>参照...</translation>
    </message>
    <message>
        <source>MIDI</source>
        <translation>MIDI</translation>
    </message>
    <message>
        <source>Directories</source>
        <translation>フォルダ</translation>
    </message>
    <message>
        <source>%1 (not connected)</source>
        <translation>%1 (未接続)</translation>
    </message>
    <message>
        <source>Choose a connected input and output device first.</source>
        <translation>先に、接続されている入力デバイスと出力デバイスを選んでください。</translation>
    </message>
    <message>
        <source>Testing...</source>
        <translation>テスト中...</translation>
    </message>
    <message>
        <source>Trying %1 with %2...</source>
        <translation>%1 と %2 で試しています...</translation>
    </message>
    <message>
        <source>No MLS-850 answered on any pair of MIDI devices.</source>
        <translation>どの MIDI デバイスの組み合わせでも MLS-850 は応答しませんでした。</translation>
    </message>
    <message>
        <source>MLS-850 found</source>
        <translation>MLS-850 が見つかりました</translation>
    </message>
    <message>
        <source>another kind of keyboard (kind %1)</source>
        <translation>別の種類のキーボード (種類 %1)</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>応答なし</translation>
    </message>
    <message>
        <source>an answer that could not be read</source>
        <translation>読み取れない応答</translation>
    </message>
    <message>
        <source>&amp;Library folders (none: the default folder)</source>
        <translation>ライブラリのフォルダ(&amp;L) (なし: 既定のフォルダ)</translation>
    </message>
    <message>
        <source>&amp;Add...</source>
        <translation>追加(&amp;A)...</translation>
    </message>
    <message>
        <source>Add a folder to the library</source>
        <translation>ライブラリにフォルダを追加します</translation>
    </message>
    <message>
        <source>Re&amp;move</source>
        <translation>削除(&amp;M)</translation>
    </message>
    <message>
        <source>Remove the selected folder from the library</source>
        <translation>選んだフォルダをライブラリから外します</translation>
    </message>
    <message>
        <source>never</source>
        <translation>忘れない</translation>
    </message>
    <message>
        <source> days</source>
        <translation> 日</translation>
    </message>
    <message>
        <source>Forget versions older than</source>
        <translation>古いバージョンを忘れるまでの日数</translation>
    </message>
    <message>
        <source>The newest version of each item in a slot is always kept</source>
        <translation>スロットごとに各データの最新のバージョンは常に残ります</translation>
    </message>
    <message>
        <source>Forget &amp;versions older than:</source>
        <translation>バージョンを忘れるまでの日数(&amp;V):</translation>
    </message>
</context>
<context>
    <name>TReplacedItemsForm</name>
    <message>
        <source>Replaced Items</source>
        <translation>置き換えたデータ</translation>
    </message>
    <message>
        <source>&amp;Put Back</source>
        <translation>元に戻す(&amp;P)</translation>
    </message>
    <message>
        <source>&amp;Save As...</source>
        <translation>名前を付けて保存(&amp;S)...</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>削除(&amp;D)</translation>
    </message>
    <message>
        <source>When</source>
        <translation>日時</translation>
    </message>
    <message>
        <source>Slot</source>
        <translation>場所</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>種類</translation>
    </message>
    <message>
        <source>Size(byte)</source>
        <translation>サイズ(バイト)</translation>
    </message>
    <message>
        <source>Why</source>
        <translation>理由</translation>
    </message>
    <message>
        <source>&quot;%1&quot; exists already; nothing was saved.</source>
        <translation>「%1」は既にあります。何も保存しませんでした。</translation>
    </message>
    <message>
        <source>The copy could not be saved as &quot;%1&quot;.</source>
        <translation>コピーを「%1」として保存できませんでした。</translation>
    </message>
    <message>
        <source>Forget the kept copy of &quot;%1&quot;? Its file is deleted.</source>
        <translation>「%1」の保存したコピーを削除しますか？ファイルも削除されます。</translation>
    </message>
    <message>
        <source>deleted</source>
        <translation>削除</translation>
    </message>
    <message>
        <source>replaced by a copy, move, swap or rename</source>
        <translation>コピー、移動、入れ替えまたは名前の変更で置き換え</translation>
    </message>
    <message>
        <source>replaced by an undo or a redo</source>
        <translation>元に戻す、またはやり直しで置き換え</translation>
    </message>
    <message>
        <source>replaced by %1</source>
        <translation>%1 で置き換え</translation>
    </message>
</context>
<context>
    <name>TTagsForm</name>
    <message>
        <source>Tags</source>
        <translation>タグ</translation>
    </message>
    <message>
        <source>Tags and note of %1. They belong to the item itself: every copy of it, in any file or slot, has them.</source>
        <translation>%1 のタグとメモ。タグとメモはデータそのものに付くので、どのファイルやスロットにあるコピーにも同じものが付きます。</translation>
    </message>
    <message>
        <source>Tags with commas between them, such as: pads, live set</source>
        <translation>タグをカンマで区切って入力します (例: パッド, ライブ)</translation>
    </message>
    <message>
        <source>pads, live set</source>
        <translation>パッド, ライブ</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>メモ</translation>
    </message>
    <message>
        <source>(each item keeps its own note)</source>
        <translation>(それぞれのデータのメモはそのまま)</translation>
    </message>
    <message>
        <source>&amp;Tags:</source>
        <translation>タグ(&amp;T):</translation>
    </message>
    <message>
        <source>&amp;Note:</source>
        <translation>メモ(&amp;N):</translation>
    </message>
</context>
<context>
    <name>TVersionsForm</name>
    <message>
        <source>read from the keyboard</source>
        <translation>キーボードから受信</translation>
    </message>
    <message>
        <source>sent</source>
        <translation>送信</translation>
    </message>
    <message>
        <source>deleted</source>
        <translation>削除</translation>
    </message>
    <message>
        <source>Versions of %1</source>
        <translation>%1 のバージョン</translation>
    </message>
    <message>
        <source>Every item NvbMan has seen in %1 or put there, newest first.</source>
        <translation>NvbMan が %1 で見た、または送ったすべてのデータ (新しい順)。</translation>
    </message>
    <message>
        <source>When</source>
        <translation>日時</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>Size(byte)</source>
        <translation>サイズ(バイト)</translation>
    </message>
    <message>
        <source>How</source>
        <translation>方法</translation>
    </message>
    <message>
        <source>From</source>
        <translation>出どころ</translation>
    </message>
    <message>
        <source>Now</source>
        <translation>現在</translation>
    </message>
    <message>
        <source>(empty)</source>
        <translation>(空)</translation>
    </message>
    <message>
        <source>on the keyboard now</source>
        <translation>現在キーボードにあるもの</translation>
    </message>
    <message>
        <source>&amp;Send This Version</source>
        <translation>このバージョンを送信(&amp;S)</translation>
    </message>
    <message>
        <source>Put the chosen version back into the slot</source>
        <translation>選んだバージョンをスロットに戻します</translation>
    </message>
    <message>
        <source>Slot</source>
        <translation>スロット</translation>
    </message>
</context>
<context>
    <name>Tags</name>
    <message>
        <source>Select the files to tag in the PC list.</source>
        <translation>タグを付けるファイルを PC の一覧で選んでください。</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n 個のファイル</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s)</source>
        <translation>
            <numerusform>%n 個のデータ</numerusform>
        </translation>
    </message>
    <message>
        <source>Empty slots have no tags: select slots that hold items.</source>
        <translation>空のスロットにはタグを付けられません。データのあるスロットを選んでください。</translation>
    </message>
    <message>
        <source>Export Tags</source>
        <translation>タグを書き出し</translation>
    </message>
    <message>
        <source>NvbMan&apos;s tags (*.json)</source>
        <translation>NvbMan のタグ (*.json)</translation>
    </message>
    <message>
        <source>Import Tags</source>
        <translation>タグを読み込み</translation>
    </message>
    <message>
        <source>The tags were written to &quot;%1&quot;.</source>
        <translation>タグを &quot;%1&quot; に書き出しました。</translation>
    </message>
    <message numerus="yes">
        <source>The tags of %n item(s) were taken in.</source>
        <translation>
            <numerusform>%n 個のデータのタグを読み込みました。</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>WindowVersions</name>
    <message>
        <source>These could not be taken into the keyboard&apos;s past:</source>
        <translation>次のものはキーボードの履歴に取り込めませんでした:</translation>
    </message>
    <message>
        <source>%1 was empty then; it is left as it is.</source>
        <translation>%1 はその時点で空でした。そのままにします。</translation>
    </message>
    <message>
        <source>Select a keyboard file in the PC list.</source>
        <translation>PC の一覧でキーボードのファイルを選んでください。</translation>
    </message>
    <message>
        <source>The keyboard&apos;s past takes %1 (%2).</source>
        <translation>キーボードの履歴の大きさ: %1 (%2)</translation>
    </message>
    <message>
        <source>The keyboard&apos;s past was not recorded: %1</source>
        <translation>キーボードの履歴を記録できませんでした: %1</translation>
    </message>
</context>
</TS>
