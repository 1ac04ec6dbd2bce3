SELECT m.name, 'column', p.cid, p.name || '|' || p.type || '|' || p."notnull" || '|' || p.pk
  FROM sqlite_master m, pragma_table_info(m.name) p
 WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite%'
UNION ALL
SELECT m.name, 'unique', i.seqno, i.name
  FROM sqlite_master m, pragma_index_list(m.name) l, pragma_index_info(l.name) i
 WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite%' AND l."unique" = 1 AND l.origin = 'u'
ORDER BY 1, 2, 3;
