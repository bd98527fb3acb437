#include "app/ReasonText.h"

#include "app/ShownText.h"
#include "sitemap/SitemapWriter.h"

namespace {

QString U(const char* text) { return QString::fromUtf8(text); }
QString Q(const std::string& bytes) { return ShownText::ToQt(bytes); }

}  // namespace

namespace ReasonText {

QString OfBaseUrl(UrlText::BaseProblem problem) {
  using UrlText::BaseProblem;
  switch (problem) {
    case BaseProblem::kEmpty: return U("URLが空です");
    case BaseProblem::kNotHttp: return U("http:// か https:// で始めてください");
    case BaseProblem::kQueryOrFragment: return U("「?」や「#」は使えません");
    case BaseProblem::kNoHost: return U("ホスト名がありません");
    case BaseProblem::kUserInfo: return U("ユーザー名やパスワード（「@」の前）は入れられません");
    case BaseProblem::kBadPort: return U("ポート番号は1～65535の数字で指定してください");
    case BaseProblem::kBadAddress: return U("[ ]の中のIPv6アドレスが正しくありません");
    case BaseProblem::kBadHostCharacter: return U("ホスト名に使えない文字（「\\」「[」や空白など）があります");
    case BaseProblem::kNonAsciiHost:
      return U("ホスト名を国際化ドメイン名（xn--）に変換できません。使えない文字やハイフンの位置を確かめてください");
    case BaseProblem::kNotUri: break;
  }
  return U("URLの形式が正しくありません");
}

QString NameOf(Warning::Reason reason) {
  using Reason = Warning::Reason;
  switch (reason) {
    case Reason::kFewerReaders: return U("読み取りスレッド不足");
    case Reason::kFolderNotListed: return U("読めないフォルダ");
    case Reason::kFolderPartlyListed: return U("一部しか読めないフォルダ");
    case Reason::kBrokenLink: return U("リンク切れ");
    case Reason::kNotRegularFile: return U("通常のファイルではない");
    case Reason::kUrlTooLong: return U("長すぎる URL");
    case Reason::kNoindex: return U("noindex");
    case Reason::kUndatedPage: return U("内容を読めず日付は前回のまま");
    case Reason::kGitHistoryCut: return U("git の履歴が途中までしかない");
    case Reason::kGitUnreadable: return U("git のリポジトリを読めない");
    case Reason::kCanonicalElsewhere: return U("canonical が別の URL");
    case Reason::kCanonicalNotHttp: return U("canonical が http(s) でない");
    case Reason::kCanonicalEmpty: return U("canonical が空");
    case Reason::kCanonicalBroken: return U("canonical が URL でない");
    case Reason::kCanonicalIsFolder: return U("canonical がフォルダの URL");
    case Reason::kRobotsDisallowed: return U("robots.txt で禁止");
    case Reason::kRobotsNotAtRoot: return U("robots.txt を読まない");
    case Reason::kRobotsTxtMissing: return U("robots.txt がない");
    case Reason::kRobotsNoSitemapLine: return U("robots.txt に Sitemap: 行がない");
    case Reason::kHreflangUnusableHref: return U("hreflang の URL が使えない");
    case Reason::kHreflangNotReciprocal: return U("hreflang の相互リンクなし");
    case Reason::kHreflangSelfMissing: return U("hreflang に自分自身がない");
    case Reason::kHreflangNotInSitemap: return U("hreflang の言語版がサイトマップにない");
    case Reason::kHreflangBadLanguage: return U("hreflang の言語コードが不正");
    case Reason::kHreflangDuplicate: return U("hreflang の重複");
    case Reason::kCount: break;
  }
  return U("その他");
}

QString NoteOf(const Warning& warning) {
  using Reason = Warning::Reason;
  const QString detail = Q(warning.detail);
  switch (warning.reason) {
    case Reason::kFewerReaders:
      return U("%1 本のうち %2 本だけ起動しました（%3）。少ない本数で読みました")
          .arg(warning.of)
          .arg(warning.count)
          .arg(Q(warning.detail));
    case Reason::kFolderNotListed:
    case Reason::kFolderPartlyListed:
    case Reason::kUndatedPage: return Q(warning.detail);
    case Reason::kGitHistoryCut:
      return U("浅いクローン（shallow clone）のため、%1 ページは最後に変わったコミットが分かりません。"
               "これらのページの日付は中身から決めました（git fetch --unshallow で履歴を取ると分かります）")
          .arg(warning.count);
    case Reason::kGitUnreadable: return U("%1。git で日付の分からなかったページは中身から決めました").arg(Q(warning.detail));
    case Reason::kUrlTooLong:
      return U("%1 文字（上限 %2 文字）").arg(warning.count).arg(SitemapWriter::kMaxUrlLength);
    case Reason::kCanonicalElsewhere: return U("canonical: %1（このページは載せません）").arg(detail);
    case Reason::kCanonicalNotHttp:
      return U("canonical「%1」は http でも https でもないため無視し、ページは載せました").arg(detail);
    case Reason::kCanonicalEmpty: return U("canonical の href が空のため無視し、ページは載せました");
    case Reason::kCanonicalBroken: return U("canonical「%1」は URL として読めないため無視し、ページは載せました").arg(detail);
    case Reason::kCanonicalIsFolder:
      return U("canonical はフォルダの URL（%1）です。「index ページをフォルダの URL で書く」をオンにすると、その URL で書きます")
          .arg(detail);
    case Reason::kRobotsDisallowed: return U("規則: %1").arg(detail);
    case Reason::kRobotsNotAtRoot:
      return U("ベース URL %1 はホストのルート（/）ではないため robots.txt は読まず、ページを除くことも Sitemap: 行を"
               "追加することもしません")
          .arg(detail);
    case Reason::kRobotsTxtMissing: return U("フォルダのルートに robots.txt がないため、禁止されたページはありません");
    case Reason::kRobotsNoSitemapLine:
      return U("%1 を示す Sitemap: 行がありません（「robots.txt に Sitemap: 行を追加する」で追加できます）").arg(detail);
    case Reason::kHreflangUnusableHref:
      return U("言語版の URL「%1」は http でも https でもないため書きません").arg(detail);
    case Reason::kHreflangNotReciprocal: return U("言語版 %1 からこのページへのリンクがありません").arg(detail);
    case Reason::kHreflangSelfMissing: return U("言語版の一覧にこのページ自身がありません");
    case Reason::kHreflangNotInSitemap: return U("言語版 %1 はサイトマップに載っていません").arg(detail);
    case Reason::kHreflangBadLanguage: return U("hreflang「%1」は言語コードではないため書きません").arg(detail);
    case Reason::kHreflangDuplicate: return U("hreflang「%1」が別々の URL に付いています").arg(detail);
    case Reason::kBrokenLink:
    case Reason::kNotRegularFile:
    case Reason::kNoindex:
    case Reason::kCount: break;
  }
  return {};
}

QString CauseOf(const RunProblem& problem) {
  using Code = RunProblem::Code;
  const QString path = Q(problem.path);
  const QString detail = Q(problem.detail);
  switch (problem.code) {
    case Code::kNone: return {};
    case Code::kFolderNameEmpty: return U("フォルダが指定されていません");
    case Code::kNoSuchFolder: return U("%1 というフォルダもファイルもありません").arg(path);
    case Code::kNotFolderOrFile: return U("%1 はフォルダでも通常のファイルでもありません").arg(path);
    case Code::kFolderUnopenable: return U("フォルダ %1 を開けません（%2）").arg(path, detail);
    case Code::kFolderLocked: return U("フォルダ %1 のサイトマップは別の処理が作成中です").arg(path);
    case Code::kBadExclusion: return U("除外パターン「%1」（%2番目）が正しくありません").arg(detail).arg(problem.count);
    case Code::kOutOfDescriptors:
      return U("%1 を開けません（%2）。同時に開けるファイルの数が足りません").arg(path, detail);
    case Code::kFolderNotListable: return U("フォルダ %1 の中身を読めません（%2）").arg(path, detail);
    case Code::kEverythingExcluded:
      return U("除外パターンですべてのページが除外されました（ページ %1 件、フォルダ %2 件、その他 %3 件）")
          .arg(problem.count)
          .arg(problem.of)
          .arg(problem.others);
    case Code::kFolderEmpty: return U("フォルダ %1 には何もありません").arg(path);
    case Code::kBadBaseUrl: return U("ホームページのURL「%1」は使えません: %2").arg(detail, OfBaseUrl(problem.baseProblem));
    case Code::kNoExtensions: return U("対象とする拡張子が1つも登録されていません");
    case Code::kNoFileMatched: return U("対象とする拡張子のファイルがありません");
    case Code::kEveryMatchLeftOut: return U("対象のファイルはすべて除外されました（理由は一覧のとおりです）");
    case Code::kWriteFailed: return U("サイトマップを書き込めません: %1").arg(detail);
    case Code::kOutOfMemory: return U("メモリが足りません");
    case Code::kThreadUnavailable: return U("処理を開始できません（%1）").arg(detail);
    case Code::kInternal: return U("予期しないエラーが起きました: %1").arg(detail);
    case Code::kLedgerUnreadable: return U("日付の台帳 %1 が壊れていて読めません（作り直しはしません）: %2").arg(path, detail);
    case Code::kLedgerNotLedger: return U("日付の台帳 %1 はこのプログラムの台帳ではありません: %2").arg(path, detail);
    case Code::kLedgerNewerFormat: return U("日付の台帳 %1 は新しい版の形式です（%2）").arg(path, detail);
    case Code::kLedgerLocked: return U("日付の台帳 %1 はほかの実行が使っています（%2）").arg(path, detail);
    case Code::kLedgerUnwritable: return U("日付の台帳 %1 に書き込めません: %2").arg(path, detail);
    case Code::kLedgerNotUpdated:
      return U("サイトマップは書きましたが、台帳 %1 を更新できませんでした: %2").arg(path, detail);
    case Code::kRobotsTxtUnreadable: return U("robots.txt（%1）を読めません: %2").arg(path, detail);
    case Code::kRobotsTxtNotUpdated:
      return U("サイトマップは書きましたが、robots.txt（%1）に Sitemap: 行を追加できませんでした: %2").arg(path, detail);
  }
  return U("サイトマップを生成できませんでした");
}

QString AdviceFor(const RunProblem& problem) {
  using Code = RunProblem::Code;
  switch (problem.code) {
    case Code::kNone: return {};
    case Code::kFolderNameEmpty:
    case Code::kNoSuchFolder:
    case Code::kNotFolderOrFile: return U("ホームページのローカルフォルダを指定してください");
    case Code::kFolderUnopenable:
    case Code::kFolderNotListable: return U("フォルダの場所と読み取りの権限を確かめてください");
    case Code::kFolderLocked: return U("その処理が終わってから、もう一度生成してください");
    case Code::kBadExclusion:
    case Code::kEverythingExcluded: return U("詳細設定の除外パターンを見直してください");
    case Code::kOutOfDescriptors: return U("同時に開けるファイルの数（ulimit -n）を増やしてください");
    case Code::kFolderEmpty: return U("ホームページのファイルがあるフォルダを指定してください");
    case Code::kBadBaseUrl: return U("ホームページのURL(http://～)を正しく指定してください");
    case Code::kNoExtensions: return U("拡張子を追加してください");
    case Code::kNoFileMatched: return U("対象とする拡張子の一覧を確かめて、拡張子を追加してください");
    case Code::kEveryMatchLeftOut: return U("一覧の理由を確かめてください");
    case Code::kWriteFailed: return U("ディスクの空きと書き込みの権限を確かめてください");
    case Code::kOutOfMemory: return U("ほかのプログラムを終了してから、もう一度生成してください");
    case Code::kThreadUnavailable:
    case Code::kInternal: return U("しばらくしてから、もう一度生成してください");
    case Code::kLedgerUnreadable:
    case Code::kLedgerNotLedger:
    case Code::kLedgerNewerFormat: return U("台帳を元に戻すか、別の台帳ファイルを指定してください");
    case Code::kLedgerLocked: return U("その実行が終わってから、もう一度生成してください");
    case Code::kLedgerUnwritable: return U("台帳の場所と書き込みの権限を確かめてください");
    case Code::kLedgerNotUpdated: return U("次の実行は前回の台帳の日付を使います。台帳の場所と空きを確かめてください");
    case Code::kRobotsTxtUnreadable:
      return U("robots.txt の読み取りの権限を確かめるか、詳細設定の robots.txt の項目をオフにしてください");
    case Code::kRobotsTxtNotUpdated: return U("robots.txt の書き込みの権限とディスクの空きを確かめてください");
  }
  return {};
}

}  // namespace ReasonText
