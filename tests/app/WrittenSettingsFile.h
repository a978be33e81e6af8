#pragma once
// A settings file as the program wrote it for changedOptions() with the options that only
// the store keeps changed too (see writtenOptions() in OptionSchemaTest.cpp). Kept as it was
// written, so the keys, value types and text forms of every saved option stay as users'
// files have them.
namespace tw {

inline constexpr const char kWrittenSettingsFile[] = R"conf([Flags]
Prompt_flag=1
Search_subdir=1

[Options]
After%20Hit=]]
Backup%20Path=/bak/
Before%20Hit=[[
Cache%20File%20List=0
Context%20Font="-20,700,1,1,1,34,DejaVu Sans Mono,3,4"
Default%20Viewer=/usr/bin/less
Detect%20UTF-16=0
Display%20File%20Stats=0
Display%20Replace%20String=1
File%20Color=4294967295
Keep%20file%20time%20stamp=1
Max%20Date%20Filter=@ByteArray(\x80\xa9\x32\xb1>\xba\xc0\x1)
Max%20Items%20Saved=17
Max%20Member%20MB=300
Max%20Member%20Ratio=77
Max%20Reg%20Expr=4000
Max%20Size%20Filter=@ByteArray(\0\xf2\x5*\x1\0\0\0)
Min%20Date%20Filter=@ByteArray(\0\0\xfd\x8e\xe2\xa1\xc0\x1)
Min%20Size%20Filter=@ByteArray(\0\x4\0\0\0\0\0\0)
Num%20Detail%20Entries=12
One%20hit=1
Output_File=/tmp/out put.txt
Show%20Files%20Without%20Hits=1
Show_Files=0
String%20Color=65280
Threads=3
Undo%20Space=200
Unzip%20Dir=/var/tmp/unz/
Use%20Ignore%20Files=1
Write%20to%20Backup%20Dir=1
)conf";

} // namespace tw
