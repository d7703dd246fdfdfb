// hhc.exe's wording of the compiler's diagnostics and progress steps.
#include "hhc_messages.h"

#include <cstdlib>
#include <iterator>

namespace hhc {

namespace {

// The field of a [WINDOWS] line by its position, as a user would name it.
std::string windowField(const std::string& number) {
    static const char* const kFields[] = {
        "导航窗格样式", "导航窗格宽度", "按钮",       "位置",       "窗口样式", "扩展窗口样式",
        "显示状态",     "导航窗格关闭", "默认选项卡", "选项卡位置", "通知编号"};
    const int index = std::atoi(number.c_str()) - 9;
    if (index < 0 || index >= static_cast<int>(std::size(kFields)))
        return "第 " + number + " 个字段";
    return kFields[index];
}

std::string message(hhp::Problem problem, const std::vector<std::string>& args) {
    // Arguments the library left out read as empty rather than failing.
    auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
    auto q = [&](std::size_t i) { return "\"" + arg(i) + "\""; };
    using P = hhp::Problem;
    switch (problem) {
    case P::LineOutsideSection:
        return "已忽略不在任何节中的行";
    case P::UnknownSection:
        return "已忽略未知的节 [" + arg(0) + "]";
    case P::SubsetsIgnored:
        return "不支持 [SUBSETS]，已忽略";
    case P::OptionWithoutEquals:
        return "已忽略没有“=”的选项行";
    case P::UnknownOption:
        return "已忽略未知选项 " + q(0);
    case P::OptionIgnored:
        return "不支持选项 " + q(0) + "，已忽略";
    case P::OptionNotYesNo:
        return q(0) + " 应为 Yes 或 No，而不是 " + q(1) + "，已忽略这一行";
    case P::LanguageWithoutNumber:
        return "\"Language\" 不以语言编号开头：" + q(0) + "，改用 0x409";
    case P::WindowWithoutName:
        return "已忽略没有“名称=”的窗口行";
    case P::WindowDefinedTwice:
        return "窗口 " + q(0) + " 定义了两次，以第一次为准";
    case P::WindowFieldNotNumber:
        return "窗口 " + q(0) + "：" + windowField(arg(1)) + "不是数字：" + q(2);
    case P::WindowPositionMalformed:
        return "窗口 " + q(0) + "：位置不是 [左,上,右,下] 的形式";
    case P::WindowTooManyFields:
        return "窗口 " + q(0) + " 的字段多于预期";
    case P::InfoTypesIgnored:
        return "不支持信息类型，已忽略";
    case P::AliasWithoutEquals:
        return "已忽略没有“=”的别名行";
    case P::AliasIncomplete:
        return "已忽略缺少名称或文件的别名行";
    case P::MapLineMalformed:
        return "映射行不是“#define 名称 数字”的形式，已忽略";
    case P::IncludeTooDeep:
        return "#include 嵌套过深，已跳过 " + q(0);
    case P::IncludeOfItself:
        return q(0) + " 包含了自身，已跳过";
    case P::TooManyIncludes:
        return "#include 行过多，其余的已跳过";
    case P::IncludeUnreadable:
        return "无法读取包含的文件 " + q(0);
    case P::SitemapTooDeep:
        return "嵌套过深的列表已展平";
    case P::ObjectInsideObject:
        return "<OBJECT> 中又出现 <OBJECT>：前一个到此结束";
    case P::ObjectNotClosed:
        return "<OBJECT> 没有结束";
    case P::SitemapLineLossy:
        return "代码页 " + arg(0) + " 无法表示的字符已存为“?”";
    case P::FileNotFound:
        return "找不到文件 " + q(0);
    case P::FileOutsideProject:
        return q(0) + " 位于工程文件夹之外，已存为 " + q(1);
    case P::FileNameCollision:
        return q(0) + " 将存为 " + q(1) + "，但已有另一个文件使用这个名称，已略去";
    case P::FileUnreadable:
        return "无法读取 " + q(0);
    case P::FileTooLarge:
        return q(0) + " 超过 " + arg(1) + " MiB，已略去";
    case P::WildcardInFolder:
        return "通配符只能用在文件名中：" + q(0);
    case P::WildcardMatchesNone:
        return "没有与 " + q(0) + " 匹配的文件";
    case P::FileNotStorable:
        return q(0) + " 无法以这个名称存储，已略去";
    case P::StopListUnreadable:
        return "无法读取停用词文件 " + q(0) + "，所有词都将编入索引";
    case P::TextLossy:
        return q(0) + " 中有代码页 " + arg(1) + " 无法表示的字符";
    case P::DefaultWindowUndefined:
        return "默认窗口 " + q(0) + " 没有在 [WINDOWS] 中定义";
    case P::AliasWithoutMap:
        return "别名 " + q(0) + " 在 [MAP] 中没有编号，已略去";
    case P::TopicListedTwice:
        return "文件 " + q(0) + " 列出了两次，第二次不作为主题";
    case P::ContentsTargetMissing:
        return "目录项 " + q(0) + " 指向的 " + q(1) + " 不在帮助文件中";
    case P::IndexTargetMissing:
        return "索引关键字指向的 " + q(0) + " 不在帮助文件中";
    case P::SettingCut:
        return "一项长 " + arg(0) + " 字节的设置已截断为 " + arg(1) + " 字节";
    case P::AddressCut:
        return "地址 \"" + arg(0) + "...\" 对 URL 表过长，已截断";
    case P::TextCut:
        return "文字 \"" + arg(0) + "...\" 长于 " + arg(1) + " 字节，已截断";
    case P::TooManyMergeFiles:
        return "只能列出前 " + arg(0) + " 个合并的帮助文件";
    case P::KeywordTopicsDropped:
        return "条目过多的索引关键字中有 " + arg(0) + " 个主题引用已略去";
    case P::WordsNotIndexed:
        return arg(0) + " 个词没有编入索引：长于 99 字节，或含有代码页 " + arg(1) +
               " 无法表示的字符";
    case P::ProjectUnreadable:
        return "无法读取工程文件";
    case P::OutputFolderMissing:
        return "编译文件 " + q(0) + " 所在的文件夹不存在";
    case P::OutputIsFolder:
        return "编译文件 " + q(0) + " 是一个已有的文件夹";
    case P::HelpFileTooLarge:
        return "帮助文件过大，将无法读回";
    case P::OutputNotCreated:
        return "无法创建输出文件";
    case P::OutputNotWritten:
        return "无法写入输出文件";
    case P::OutputNotReplaced:
        return "无法替换输出文件";
    case P::Internal:
        return args.empty() ? "编译失败：内部错误" : "编译失败：内部错误（" + arg(0) + "）";
    }
    return "未知问题";
}

} // namespace

std::string diagnosticLine(const hhp::Diagnostic& diagnostic) {
    std::string out;
    if (!diagnostic.file.empty()) {
        out += diagnostic.file;
        if (diagnostic.line > 0)
            out += ":" + std::to_string(diagnostic.line);
        out += ": ";
    }
    out += diagnostic.severity == hhp::Severity::Error ? "错误：" : "警告：";
    out += message(diagnostic.problem, diagnostic.args);
    return out;
}

std::string progressLine(hhp::Step step, const std::vector<std::string>& args) {
    auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
    switch (step) {
    case hhp::Step::ReadingFiles:
        return "正在读取工程中的文件";
    case hhp::Step::FollowingLinks:
        return "正在跟踪网页中的链接";
    case hhp::Step::BuildingSearchIndex:
        return "正在生成全文搜索索引";
    case hhp::Step::BuildingSystemFiles:
        return "正在生成内部文件";
    case hhp::Step::Compressing:
        return "正在压缩";
    case hhp::Step::WordsNotIndexed:
        return message(hhp::Problem::WordsNotIndexed, args);
    case hhp::Step::Writing:
        return "正在写入 " + arg(0);
    }
    return {};
}

} // namespace hhc
