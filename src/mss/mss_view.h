// View text of another SQL dialect rewritten for MS SQL.
//
// Outside apostrophes: back-quoted names become bracketed; character-set introducers such as
// _utf8 are dropped; now() becomes getdate(); isnull(x) becomes (x) is null;
// from_unixtime(x) becomes DateAdd(ss,(x),'01-01-1970'); curdate() becomes
// cast(getdate() as date) and curtime() convert(time, getdate()). Finally IFNULL and ifnull
// become ISNULL and isnull everywhere.
#pragma once

#include <string>
#include <string_view>

std::u16string refine_view(std::u16string_view text);
