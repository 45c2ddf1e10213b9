// What probe_target.exe shows, shared with the tests that read it.
#pragma once

constexpr int kTargetBadArguments = 90;
constexpr int kTargetFailed = 91;
constexpr int kTargetSilentExit = 3;

// Control IDs of the dialog mode.
constexpr int kTargetBack = 1000;
constexpr int kTargetEdit = 1002;
constexpr int kTargetNext = 1003;
constexpr int kTargetCancel = 1005;
constexpr int kTargetProgress = 1007;
constexpr int kTargetPageText = 1016;
constexpr int kTargetStatus = 1018;
constexpr int kTargetHidden = 1019;

constexpr int kTargetProgressLow = 0;
constexpr int kTargetProgressHigh = 40;
constexpr int kTargetProgressPos = 17;

// GBK bytes: this header is compiled with -fexec-charset=GBK.
constexpr const char* kTargetDialogCaption = "Vandrel 安装向导";
constexpr const char* kTargetPageTextValue = "请稍候，正在解压文件…";
constexpr const char* kTargetEditValue = "C:\\Program Files\\示例程序";
constexpr const char* kTargetStatusValue = "已解压：数据\\说明.txt";
constexpr const char* kTargetHiddenValue = "隐藏的文字";
constexpr const char* kTargetBackValue = "< 上一步(&B)";
constexpr const char* kTargetNextValue = "下一步(&N) >";
constexpr const char* kTargetCancelValue = "取消";
constexpr const char* kTargetFlashCaption = "一闪而过";
