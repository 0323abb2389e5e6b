<HTML><BODY><TABLE>
<% 
set db=server.createobject("ADODB.Connection")
db.open "Provider=Microsoft.Jet.OLEDB.4.0;User ID=;Password=;Data Source=@DATABASE@;Persist Security Info=True;Jet OLEDB:System database="
sqlquery="SELECT Name, Price FROM Products WHERE ID < 3"
set rs=db.execute(sqlquery)
 %>
<TR>
  <TD><B>Product</B></TD>
  <TD><B>Price</B></TD>
</TR>
<% do while not rs.eof %>
  <TR>
    <% for i=0 to  2-1 %>
      <TD><%= Server.HTMLEncode(rs.fields(i).value & "") %></TD>
    <% next %>
  </TR>
<% 
 rs.movenext
 loop
db.close
 %>
</TABLE></BODY></HTML>
