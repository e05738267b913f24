#pragma once

// "关闭提示" (ClosePrompt=1) leaves out the prompts that only confirm what the
// user just did: "请说口令！" on a press, the sentence a voice command
// understood, a language or work mode chosen. Prompts that report a problem,
// a device coming or going, or ask the user to do something are always shown.
bool confirmationsShown();
